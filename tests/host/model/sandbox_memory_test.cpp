// What the model remembers of its sandbox: folders it has read, kept current by its own changes,
// and attributes and times kept with the files. Changes made behind its back are the caller's
// to announce.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "../support/model_fixture.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

class SandboxMemory : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        winmodel::MakeFolder(L"C:\\data");
        // Read the folder now, so that what follows tests a folder the model already knows.
        ASSERT_EQ(GetFileAttributesW(L"C:\\data\\nothing.txt"), INVALID_FILE_ATTRIBUTES);
    }
    static void WriteBehindTheBack(const std::string& hostPath)
    {
        std::ofstream(hostPath) << "made elsewhere";
    }
};

TEST_F(SandboxMemory, SeesAChangeBehindItsBackOnceTold)
{
    const std::string folder = winmodel::HostPath(L"C:\\data");
    WriteBehindTheBack(folder + "/Elsewhere.txt");
    winmodel::ForgetFolders();
    EXPECT_NE(GetFileAttributesW(L"C:\\DATA\\elsewhere.TXT"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(winmodel::HostPath(L"C:\\data\\ELSEWHERE.txt"), folder + "/Elsewhere.txt");
}

TEST_F(SandboxMemory, PrefersTheSpellingOnDiskAmongSeveral)
{
    // Linux holds names that Windows would take for one; the one spelled as asked wins.
    const std::string folder = winmodel::HostPath(L"C:\\data");
    WriteBehindTheBack(folder + "/Twin.txt");
    WriteBehindTheBack(folder + "/TWIN.TXT");
    winmodel::ForgetFolders();
    EXPECT_EQ(winmodel::HostPath(L"C:\\data\\TWIN.TXT"), folder + "/TWIN.TXT");
    EXPECT_EQ(winmodel::HostPath(L"C:\\data\\Twin.txt"), folder + "/Twin.txt");
    // Deleting one leaves the other to be found in any spelling.
    ASSERT_TRUE(DeleteFileW(L"C:\\data\\Twin.txt"));
    EXPECT_EQ(winmodel::HostPath(L"C:\\data\\twin.txt"), folder + "/TWIN.TXT");
    EXPECT_NE(GetFileAttributesW(L"C:\\data\\twin.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SandboxMemory, KeepsAttributesInMemoryWhereTheFileCannotHoldThem)
{
    // A FIFO takes no extended attributes; its attributes must survive all the same, also when
    // many other files pass through.
    const std::string fifo = winmodel::HostPath(L"C:\\data") + "/pipe.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    winmodel::ForgetFolders();
    ASSERT_TRUE(SetFileAttributesW(L"C:\\data\\pipe.bin", FILE_ATTRIBUTE_HIDDEN));
    for (int i = 0; i < 600; ++i) {
        const std::wstring name = L"C:\\data\\file" + std::to_wstring(i) + L".txt";
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    EXPECT_EQ(GetFileAttributesW(L"C:\\data\\pipe.bin"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

TEST_F(SandboxMemory, CallLogCanBeSwitchedOffWhileCountsGoOn)
{
    winmodel::KeepCallLog(false);
    const size_t logged = winmodel::CallLog().size();
    const long counted = winmodel::CallsNamed("GetFileAttributesW");
    (void)GetFileAttributesW(L"C:\\data");
    EXPECT_EQ(winmodel::CallLog().size(), logged);
    EXPECT_EQ(winmodel::CallsNamed("GetFileAttributesW"), counted + 1);
}

// Small writes are gathered before they reach the host file; a full disk is still reported by the
// write that does not fit, and what the steering calls show is never behind what was written.
TEST_F(SandboxMemory, GatheredWritesFailWhereTheDiskIsFullAndAreNeverSeenLate)
{
    winmodel::SetWriteLimit(50000);
    winapi::ScopedFile file(CreateFileW(L"C:\\data\\big.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    const std::string block(16384, 'q');
    DWORD written = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(WriteFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
    std::string bytes;
    ASSERT_TRUE(winmodel::ReadWholeFile(L"C:\\data\\big.bin", &bytes));
    EXPECT_EQ(bytes.size(), 3 * block.size());
    struct stat info {};
    ASSERT_EQ(::stat(winmodel::HostPath(L"C:\\data\\big.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, static_cast<off_t>(3 * block.size()));

    EXPECT_FALSE(WriteFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(written, 0u);
    file.Reset();
    ASSERT_TRUE(winmodel::ReadWholeFile(L"C:\\data\\big.bin", &bytes));
    EXPECT_EQ(bytes, block + block + block);
}

}  // namespace
