// Names without letter case, and attributes and times kept with their files, over more files and
// folders than an update of one folder touches: on the Linux model and on the real API under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

class FileNames : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = testfiles::MakeProcessFolder(L"fw-names");
    }
    void TearDown() override
    {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring Path(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

    bool MakeFolder(const std::wstring& relative)
    {
        made_.push_back(Path(relative));
        return CreateDirectoryW(Path(relative).c_str(), nullptr) != FALSE;
    }

    bool MakeFile(const std::wstring& relative, const FILETIME* written = nullptr, DWORD disposition = CREATE_NEW)
    {
        winapi::ScopedFile file(CreateFileW(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        made_.push_back(Path(relative));
        DWORD count = 0;
        if (!WriteFile(file.Get(), "x", 1, &count, nullptr)) return false;
        return !written || SetFileTime(file.Get(), nullptr, nullptr, written);
    }

    static FILETIME WriteTimeOf(const std::wstring& path)
    {
        FILETIME written = {};
        winapi::ScopedFile file(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) GetFileTime(file.Get(), nullptr, nullptr, &written);
        return written;
    }

    std::wstring folder_;
    std::vector<std::wstring> made_;  // removed in reverse order
};

TEST_F(FileNames, AreFoundWithoutLetterCaseThroughCreateMoveAndDelete)
{
    ASSERT_TRUE(MakeFolder(L"Sub"));
    ASSERT_TRUE(MakeFile(L"Sub\\Report.TXT"));
    EXPECT_NE(GetFileAttributesW(Path(L"SUB\\report.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MakeFile(L"sub\\REPORT.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(Path(L"sUB").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    ASSERT_TRUE(MoveFileExW(Path(L"sub\\report.txt").c_str(), Path(L"SUB\\Other.txt").c_str(), 0));
    made_.push_back(Path(L"Sub\\Other.txt"));
    EXPECT_EQ(GetFileAttributesW(Path(L"Sub\\Report.TXT").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(GetFileAttributesW(Path(L"sub\\OTHER.TXT").c_str()), INVALID_FILE_ATTRIBUTES);

    // A name that is gone can be made again, in another spelling.
    ASSERT_TRUE(DeleteFileW(Path(L"SUB\\other.TXT").c_str()));
    EXPECT_EQ(GetFileAttributesW(Path(L"Sub\\Other.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(MakeFile(L"sub\\OTHER.txt"));
    EXPECT_NE(GetFileAttributesW(Path(L"Sub\\Other.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    // Below a name that is a file there is nothing.
    EXPECT_EQ(GetFileAttributesW(Path(L"Sub\\Other.txt\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(Path(L"Missing\\x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileNames, ManyFilesInManyFoldersKeepTheirAttributesAndTimes)
{
    // More folders and files than an extraction works in at once.
    constexpr int kFolders = 24;
    constexpr int kFilesPerFolder = 15;
    const unsigned long long base = 132000000000000000ULL;  // 2019
    auto timeOf = [&](int n) {
        const unsigned long long ticks = base + static_cast<unsigned long long>(n) * 10000000ULL;
        FILETIME time;
        time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
        time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        return time;
    };
    auto nameOf = [](int folder, int file) {
        wchar_t name[32];
        wsprintfW(name, L"f%02d\\file%02d.bin", folder, file);
        return std::wstring(name);
    };
    for (int folder = 0; folder < kFolders; ++folder) {
        wchar_t name[8];
        wsprintfW(name, L"f%02d", folder);
        ASSERT_TRUE(MakeFolder(name));
        for (int file = 0; file < kFilesPerFolder; ++file) {
            const int n = folder * kFilesPerFolder + file;
            const FILETIME written = timeOf(n);
            ASSERT_TRUE(MakeFile(nameOf(folder, file), &written));
            if (n % 3 == 0) {
                ASSERT_TRUE(SetFileAttributesW(Path(nameOf(folder, file)).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
            }
        }
    }
    // A moved folder takes its files' attributes and times along.
    ASSERT_TRUE(MoveFileExW(Path(L"f00").c_str(), Path(L"moved").c_str(), 0));
    for (std::wstring& path : made_) {
        if (path.compare(0, Path(L"f00").size(), Path(L"f00")) == 0) path = Path(L"moved") + path.substr(Path(L"f00").size());
    }

    for (int folder = 0; folder < kFolders; ++folder) {
        for (int file = 0; file < kFilesPerFolder; ++file) {
            const int n = folder * kFilesPerFolder + file;
            std::wstring path = Path(nameOf(folder, file));
            if (folder == 0) path = Path(L"moved") + path.substr(Path(L"f00").size());
            SCOPED_TRACE(n);
            const DWORD attributes = GetFileAttributesW(path.c_str());
            ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
            EXPECT_EQ(attributes & FILE_ATTRIBUTE_HIDDEN, n % 3 == 0 ? static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN) : 0u);
            const FILETIME expected = timeOf(n);
            const FILETIME written = WriteTimeOf(path);
            EXPECT_EQ(written.dwLowDateTime, expected.dwLowDateTime);
            EXPECT_EQ(written.dwHighDateTime, expected.dwHighDateTime);
        }
    }
}

}  // namespace
