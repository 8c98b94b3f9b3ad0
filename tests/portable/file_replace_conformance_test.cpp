// The platform calls the zip reader and extractor rely on, run on the model and under Wine: a
// refused seek leaves the file where it was, a file written beside its target keeps its times and
// attributes through the move that replaces the target, folders given with a trailing separator.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_files.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

using testfiles::WriteWholeFile;

class ReplaceConformance : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = testfiles::MakeProcessFolder(L"fw-replace");
    }
    void TearDown() override
    {
        for (const wchar_t* leaf : {L"\\a.bin", L"\\b.bin", L"\\target.bin"}) {
            SetFileAttributesW((folder_ + leaf).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW((folder_ + leaf).c_str());
        }
        RemoveDirectoryW((folder_ + L"\\dir").c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring Path(const wchar_t* leaf) const { return folder_ + L"\\" + leaf; }

    std::wstring folder_;
};

TEST_F(ReplaceConformance, ARefusedSeekLeavesThePosition)
{
    ASSERT_TRUE(WriteWholeFile(Path(L"a.bin"), "0123456789"));
    winapi::ScopedFile file(CreateFileW(Path(L"a.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    char bytes[4] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file.Get(), bytes, 3, &read, nullptr));
    // A position of 2 GiB or more is a negative distance without a high part.
    EXPECT_EQ(SetFilePointer(file.Get(), static_cast<LONG>(0x90000000u), nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    ASSERT_TRUE(ReadFile(file.Get(), bytes, 2, &read, nullptr));
    EXPECT_EQ(std::string(bytes, read), "34");
    EXPECT_EQ(SetFilePointer(file.Get(), 0, nullptr, FILE_CURRENT), 5u);
}

TEST_F(ReplaceConformance, TimesAndAttributesTravelWithTheMove)
{
    ASSERT_TRUE(WriteWholeFile(Path(L"target.bin"), "old"));
    winapi::ScopedFile file(CreateFileW(Path(L"a.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), "new", 3, &written, nullptr));
    FILETIME when;
    when.dwLowDateTime = 0x12345600u;
    when.dwHighDateTime = 0x01D70000u;  // in 2021
    ASSERT_TRUE(SetFileTime(file.Get(), &when, &when, &when));
    file.Reset();

    // A read-only file can still be moved; the read-only target cannot be replaced.
    ASSERT_TRUE(SetFileAttributesW(Path(L"a.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(DeleteFileW(Path(L"a.bin").c_str()));
    ASSERT_TRUE(MoveFileExW(Path(L"a.bin").c_str(), Path(L"target.bin").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetFileAttributesW(Path(L"a.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(Path(L"target.bin").c_str()) & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);

    winapi::ScopedFile moved(CreateFileW(Path(L"target.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(moved);
    FILETIME creation, access, write;
    ASSERT_TRUE(GetFileTime(moved.Get(), &creation, &access, &write));
    EXPECT_EQ(write.dwLowDateTime, when.dwLowDateTime);
    EXPECT_EQ(write.dwHighDateTime, when.dwHighDateTime);
    char bytes[8] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(moved.Get(), bytes, sizeof bytes, &read, nullptr));
    EXPECT_EQ(std::string(bytes, read), "new");
    moved.Reset();

    // Cleared again, it can be deleted.
    ASSERT_TRUE(SetFileAttributesW(Path(L"target.bin").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(Path(L"target.bin").c_str()));
}

TEST_F(ReplaceConformance, FoldersWithATrailingSeparatorAndMovesOntoThem)
{
    const std::wstring dir = Path(L"dir") + L"\\";
    EXPECT_EQ(GetFileAttributesW(dir.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesW(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(WriteWholeFile(Path(L"b.bin"), "file"));
    // A file cannot replace a folder, nor be opened as one.
    EXPECT_FALSE(MoveFileExW(Path(L"b.bin").c_str(), Path(L"dir").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetFileAttributesW(Path(L"b.bin").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(CreateFileW(dir.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
}

}  // namespace
