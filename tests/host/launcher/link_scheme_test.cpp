// The link scheme on the model: the registered shell command, and the hand-off of a link to the
// running main application over its pipe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/model_fixture.h"
#include "launcher/link_scheme.h"
#include "tests/portable/support/log_capture.h"
#include "winapi/winapi.h"

namespace {

using launcher::SendLinkToRunningInstance;
using launcher::WriteRegFun;

const wchar_t kCommandKey[] = L"tessaluvian\\shell\\open\\command";
const wchar_t kPipe[] = L"\\\\.\\Pipe\\ZUREZU_kivo";

// UTF-16LE bytes of a text, zero units up to the whole 260-unit buffer.
std::string CommandBytes(const std::wstring& command)
{
    std::string bytes;
    for (wchar_t c : command) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    bytes.resize(520, '\0');
    return bytes;
}

class SchemeRegistration : public ModelTest {
protected:
    // Runs WriteRegFun; returns its standard output and keeps its standard error.
    std::string RunCapturingStdout()
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        WriteRegFun();
        standardError_ = testing::internal::GetCapturedStderr();
        return testing::internal::GetCapturedStdout();
    }

    void ExpectNoRecord() const
    {
        EXPECT_EQ(standardError_, "");
        EXPECT_TRUE(winmodel::DebugOutput().empty());
    }

    std::string standardError_;
    logtest::FixedClock clock_{logtest::kMarch7th2024};
};

TEST_F(SchemeRegistration, TheCommandIsTheQuotedLauncherPathAndQuotedArgumentIn520Bytes)
{
    struct PathCase {
        const char* name;
        std::wstring path;
    };
    const PathCase cases[] = {
        {"with a blank", L"C:\\Program Files\\kivo app\\Fennowick.exe"},
        {"short", L"D:\\F.exe"},
        {"252 units, the longest that fits", L"C:\\" + std::wstring(243, L'p') + L"\\F.exe"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        winmodel::SetModulePath(c.path);
        EXPECT_EQ(RunCapturingStdout(), "");

        winmodel::RegValue value;
        ASSERT_TRUE(winmodel::GetRegValue(HKEY_CLASSES_ROOT, kCommandKey, L"", &value));
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value.data, CommandBytes(L"\"" + c.path + L"\" \"%1\""));
        // Nothing else is written under the scheme's key.
        EXPECT_EQ(winmodel::RegKeys(HKEY_CLASSES_ROOT),
                  (std::vector<std::wstring>{L"TESSALUVIAN", L"TESSALUVIAN\\SHELL", L"TESSALUVIAN\\SHELL\\OPEN",
                                             L"TESSALUVIAN\\SHELL\\OPEN\\COMMAND"}));
        EXPECT_EQ(winmodel::RegValueNames(HKEY_CLASSES_ROOT, kCommandKey), std::vector<std::wstring>{L""});
        EXPECT_EQ(winmodel::OpenRegKeys(), 0);
        ExpectNoRecord();
    }
}

TEST_F(SchemeRegistration, TheCommandFollowsTheLauncher)
{
    winmodel::SetRegString(HKEY_CLASSES_ROOT, kCommandKey, L"", L"\"C:\\old place\\Fennowick.exe\" \"%1\"");
    winmodel::SetModulePath(L"E:\\new place\\Fennowick.exe");
    EXPECT_EQ(RunCapturingStdout(), "");
    winmodel::RegValue value;
    ASSERT_TRUE(winmodel::GetRegValue(HKEY_CLASSES_ROOT, kCommandKey, L"", &value));
    EXPECT_EQ(value.data, CommandBytes(L"\"E:\\new place\\Fennowick.exe\" \"%1\""));
}

TEST_F(SchemeRegistration, APathTooLongForTheCommandLeavesTheRegistrationAlone)
{
    for (size_t length : {253u, 259u, 400u}) {
        SCOPED_TRACE(length);
        winmodel::Reset();
        winmodel::SetModulePath(L"C:\\" + std::wstring(length - 9, L'p') + L"\\F.exe");
        EXPECT_EQ(RunCapturingStdout(), "");
        EXPECT_TRUE(winmodel::RegKeys(HKEY_CLASSES_ROOT).empty());
        EXPECT_EQ(winmodel::CallsNamed("RegCreateKeyExW"), 0);
        ExpectNoRecord();
    }
}

TEST_F(SchemeRegistration, AMissingPathIsReportedOnTheStandardOutput)
{
    struct ErrorCase {
        DWORD error;
        const char* text;
    };
    const ErrorCase cases[] = {
        {ERROR_ACCESS_DENIED, "GetModuleFileName failed w/err 0x00000005\n"},
        {0xC000000Du, "GetModuleFileName failed w/err 0xc000000d\n"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.text);
        winmodel::Reset();
        winmodel::FailCall("GetModuleFileNameW", 1, c.error);
        EXPECT_EQ(RunCapturingStdout(), c.text);
        EXPECT_TRUE(winmodel::RegKeys(HKEY_CLASSES_ROOT).empty());
        EXPECT_EQ(winmodel::CallsNamed("RegCreateKeyExW"), 0);
        ExpectNoRecord();
    }
}

TEST_F(SchemeRegistration, AKeyThatCannotBeCreatedIsSkippedSilently)
{
    winmodel::DenyRegWrites(HKEY_CLASSES_ROOT);
    EXPECT_EQ(RunCapturingStdout(), "");
    EXPECT_TRUE(winmodel::RegKeys(HKEY_CLASSES_ROOT).empty());
    EXPECT_EQ(winmodel::CallsNamed("RegSetValueExW"), 0);
    EXPECT_EQ(winmodel::OpenRegKeys(), 0);
    ExpectNoRecord();
}

TEST_F(SchemeRegistration, AFailedValueWriteIsRecordedWithoutAnErrorCode)
{
    winmodel::FailCall("RegSetValueExW", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(RunCapturingStdout(), "");
    const std::string record = "[DID][I][2024-3-7 9:5:3] set reg failure: \n";
    EXPECT_EQ(winmodel::DebugOutput(), std::vector<std::string>{record});
    EXPECT_EQ(standardError_, record);
    EXPECT_FALSE(winmodel::GetRegValue(HKEY_CLASSES_ROOT, kCommandKey, L"", nullptr));
    EXPECT_EQ(winmodel::OpenRegKeys(), 0);
}

class LinkHandOff : public ModelTest {};

struct PayloadCase {
    const char* name;
    UINT codePage;
    std::wstring payload;
    std::string message;  // what the running copy receives, terminator included
};

TEST_F(LinkHandOff, SendsThePayloadInTheAnsiCodePageWithItsZeroByte)
{
    const PayloadCase cases[] = {
        {"quoted link as the shell passes it", 1252, L"open?id=7\"", std::string("open?id=7\"") + '\0'},
        {"empty payload", 1252, L"", std::string(1, '\0')},
        {"Western text", 1252, L"caf\x00E9", std::string("caf\xE9") + '\0'},
        {"Chinese text", 936, L"\x4E2D/a b", std::string("\xD6\xD0/a b") + '\0'},
        {"character the code page lacks", 1252, L"x\x4E2D", std::string("x?") + '\0'},
        {"fills the buffer", 1252, std::wstring(10239, L'a'), std::string(10239, 'a') + '\0'},
        {"fills the buffer with double bytes", 936, std::wstring(5119, L'\x4E2D') + L"a",
         [] {
             std::string m;
             for (int i = 0; i < 5119; ++i) m += "\xD6\xD0";
             return m + "a" + '\0';
         }()},
    };
    for (const PayloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        winmodel::SetAnsiCodePage(c.codePage);
        winmodel::ServePipe(kPipe);

        EXPECT_EQ(SendLinkToRunningInstance(c.payload), 0);
        EXPECT_EQ(winmodel::PipeMessages(kPipe), std::vector<std::string>{c.message});
        const std::vector<winmodel::PipeOpen> opens = winmodel::PipeOpens(kPipe);
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].access, GENERIC_READ | GENERIC_WRITE);
        EXPECT_EQ(opens[0].share, 0u);
        EXPECT_EQ(opens[0].disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(opens[0].flags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(winmodel::OpenHandles(), 0);
    }
}

TEST_F(LinkHandOff, AHandOffThatDoesNotArriveWholeFails)
{
    struct FailureCase {
        const char* name;
        bool served;
        winmodel::PipeOptions options;
        size_t opens;
    };
    const FailureCase cases[] = {
        {"no server", false, {}, 0},
        {"every instance busy: no wait, no retry", true, {true, -1, false}, 1},
        {"short write", true, {false, 3, false}, 1},
        {"failed write", true, {false, -1, true}, 1},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        if (c.served) winmodel::ServePipe(kPipe, c.options);
        EXPECT_EQ(SendLinkToRunningInstance(L"open?id=7\""), 1);
        EXPECT_EQ(winmodel::PipeOpens(kPipe).size(), c.opens);
        EXPECT_EQ(winmodel::OpenHandles(), 0);
    }
}

TEST_F(LinkHandOff, APayloadTooLongForTheMessageIsNotSentAtAll)
{
    struct TooLongCase {
        const char* name;
        UINT codePage;
        std::wstring payload;
    };
    const TooLongCase cases[] = {
        {"one byte too many", 1252, std::wstring(10240, L'a')},
        {"double bytes", 936, std::wstring(5120, L'\x4E2D')},
        {"far too long", 1252, std::wstring(40000, L'a')},
    };
    for (const TooLongCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        winmodel::SetAnsiCodePage(c.codePage);
        winmodel::ServePipe(kPipe);
        EXPECT_EQ(SendLinkToRunningInstance(c.payload), 1);
        EXPECT_TRUE(winmodel::PipeOpens(kPipe).empty());  // the running copy sees no connection
        EXPECT_TRUE(winmodel::PipeMessages(kPipe).empty());
    }
}

TEST_F(LinkHandOff, NoFailingCallIsReportedAsADelivery)
{
    const std::string whole = std::string("open?id=7\"") + '\0';
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        winmodel::Reset();
        winmodel::ServePipe(kPipe);
        winmodel::FailNthCall(n);
        const int result = SendLinkToRunningInstance(L"open?id=7\"");
        const std::vector<std::string> messages = winmodel::PipeMessages(kPipe);
        if (result == 0) {
            EXPECT_EQ(messages, std::vector<std::string>{whole});
        }
        EXPECT_LE(messages.size(), 1u);
        if (winmodel::FaultsHit() == 0) {
            EXPECT_EQ(result, 0);
            break;
        }
    }
}

}  // namespace
