// Windows only: the floor of the update benchmark under Wine. It writes the files of an archive's
// manifest from memory, with the calls the extractor makes for each entry (make a temporary file
// beside the target, write it in 16 KiB blocks, set its times, close it, move it into place),
// and nothing else: no archive, no inflating, no checks. The names, folders and sizes are the
// archive's; the bytes are one 16 KiB block over and over. Run with the install folder as the
// current directory.
//
// Usage: write_floor <manifest>
// The manifest has one line per entry, in archive order: "D<TAB>name" for a folder and
// "F<TAB>size<TAB>name" for a file, names in UTF-8 with / between folders.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

constexpr DWORD kBlockSize = 16384;

struct Entry {
    bool folder = false;
    DWORD size = 0;
    std::wstring name;
};

bool ReadManifest(const wchar_t* path, std::string& text)
{
    winapi::ScopedFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));  // no template
    if (!file) return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        text.append(buffer, got);
    return ok;
}

std::wstring Widen(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return wide;
}

std::vector<Entry> ParseManifest(const std::string& text)
{
    std::vector<Entry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() < 3 || line[1] != '\t') continue;
        Entry entry;
        if (line[0] == 'D') {
            entry.folder = true;
            entry.name = Widen(line.substr(2));
        } else {
            const size_t tab = line.find('\t', 2);
            if (tab == std::string::npos) continue;
            entry.size = static_cast<DWORD>(std::strtoul(line.substr(2, tab - 2).c_str(), nullptr, 10));
            entry.name = Widen(line.substr(tab + 1));
        }
        entries.push_back(entry);
    }
    return entries;
}

bool WriteOne(const std::wstring& base, const Entry& entry, const unsigned char* bytes, unsigned serial)
{
    const std::wstring path = base + entry.name;
    const size_t slash = path.find_last_of(L'\\');
    wchar_t leaf[16] = {};
    swprintf(leaf, 16, L"~fl%05x.tmp", serial & 0xFFFFF);
    const std::wstring temp = path.substr(0, slash + 1) + leaf;

    bool ok = true;
    {
        winapi::ScopedFile file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));  // no template
        if (!file) return false;
        for (DWORD done = 0; ok && done < entry.size;) {
            const DWORD n = entry.size - done < kBlockSize ? entry.size - done : kBlockSize;
            DWORD written = 0;
            ok = WriteFile(file.Get(), bytes, n, &written, nullptr) && written == n;
            done += n;
        }
        // 2023-11-14 22:13:20 UTC, as the archives' entries carry.
        FILETIME time;
        time.dwLowDateTime = 0xC66D0000u;
        time.dwHighDateTime = 0x01DA1747u;
        if (ok) SetFileTime(file.Get(), &time, &time, &time);
    }  // closed before the move, as the extractor does
    return ok && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_floor <manifest>\n");
        return 2;
    }
    std::string text;
    if (!ReadManifest(argv[1], text)) {
        std::fprintf(stderr, "cannot read the manifest\n");
        return 2;
    }
    const std::vector<Entry> entries = ParseManifest(text);
    // One block of varied bytes, written again and again, holds every file's content.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[kBlockSize]);
    unsigned state = 2463534242u;
    for (DWORD i = 0; i < kBlockSize; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<unsigned char>(state);
    }

    wchar_t base[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, base);
    if (length == 0 || length + 1 >= MAX_PATH) return 2;
    std::wstring folder = base;
    if (folder.back() != L'\\') folder += L'\\';

    unsigned failed = 0;
    unsigned serial = GetTickCount() & 0xFFFFF;
    for (const Entry& entry : entries) {
        if (entry.folder) {
            CreateDirectoryW((folder + entry.name).c_str(), nullptr);
        } else if (!WriteOne(folder, entry, bytes.get(), serial++)) {
            ++failed;
        }
    }
    if (failed > 0) {
        std::fprintf(stderr, "%u files could not be written\n", failed);
        return 1;
    }
    return 0;
}
