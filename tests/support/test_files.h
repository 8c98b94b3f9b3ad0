// Files and folders for tests that run on the model and on the real API under Wine alike: a
// folder of the test process's own, and whole files written and read back through Win32.
#pragma once

#include <string>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace testfiles {

// C:\<prefix>-<process id>, made here: the host run, the Wine run and parallel test processes
// never meet in it. The fixture removes what it made in it, then the folder.
inline std::wstring MakeProcessFolder(const wchar_t* prefix)
{
    wchar_t name[64];
    wsprintfW(name, L"C:\\%s-%u", prefix, static_cast<unsigned>(GetCurrentProcessId()));
    const std::wstring folder = name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// True when the file was opened and every byte written.
inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes, DWORD disposition = CREATE_ALWAYS,
                           DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    winapi::ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, attributes, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

inline bool ReadWholeFile(const std::wstring& path, std::string* bytes)
{
    winapi::ScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bytes->clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes->append(buffer, got);
    return true;
}

}  // namespace testfiles
