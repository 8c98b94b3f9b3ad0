// A scratch folder made the current directory for one test, with "update.zip" placed in it; the
// same on the model and on the real API under Wine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace ziptest {

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    winapi::ScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
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

class ArchiveFolder : public testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        static unsigned serial = 0;
        wchar_t name[64];
        wsprintfW(name, L"C:\\fw-zip-%u-%u", static_cast<unsigned>(GetCurrentProcessId()), ++serial);
        folder_ = name;
        CreateDirectoryW(folder_.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
    }
    void TearDown() override
    {
        SetCurrentDirectoryW(saved_);
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        DeleteFileW((folder_ + L"\\update.zip").c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void PlaceArchive(const std::string& bytes) { ASSERT_TRUE(WriteWholeFile(folder_ + L"\\update.zip", bytes)); }
    // Paths under the folder that a test made or had made, removed (innermost last added first).
    void WillRemove(const std::wstring& relative) { created_.push_back(folder_ + L"\\" + relative); }
    std::wstring Path(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

    std::wstring folder_;
    wchar_t saved_[MAX_PATH] = {};
    std::vector<std::wstring> created_;
};

}  // namespace ziptest
