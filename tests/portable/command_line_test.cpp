// How a command line becomes forced mode, a link payload and the parameters of kivo.exe.
#include <gtest/gtest.h>

#include "launcher/command_line.h"

namespace {

struct CommandCase {
    const char* name;
    const wchar_t* commandLine;
    bool forced;
    bool hasLink;
    const wchar_t* parameters;
};

const CommandCase kCases[] = {
    {"empty", L"", false, false, L""},
    {"plain text", L"-open file.txt", false, false, L"-open file.txt"},
    {"forced without link", L"forcerun:-x 1", true, false, L"-x 1"},
    {"quoted link as the shell passes it", L"\"tessaluvian://open?id=7\"", false, true, L"open?id=7\""},
    {"forced link", L"forcerun:tessaluvian://a/b", true, true, L"a/b"},
    {"text, link, more text", L"x tessaluvian://one two", false, true, L"one two"},
    {"two links keep the second", L"tessaluvian://a tessaluvian://b", false, true, L"a tessaluvian://b"},
    {"prefix after another argument", L"a forcerun:b", false, false, L"a forcerun:b"},
    {"quoted prefix", L"\"forcerun:\"", false, false, L"\"forcerun:\""},
    {"prefix in capitals", L"FORCERUN:x", false, false, L"FORCERUN:x"},
    {"scheme in capitals", L"TESSALUVIAN://x", false, false, L"TESSALUVIAN://x"},
    {"empty payload", L"tessaluvian://", false, true, L""},
    {"prefix only", L"forcerun:", true, false, L""},
};

TEST(ParseCommandLine, GivesForcedModeLinkAndParameters)
{
    for (const CommandCase& c : kCases) {
        SCOPED_TRACE(c.name);
        launcher::LaunchRequest request = launcher::ParseCommandLine(c.commandLine);
        EXPECT_EQ(request.forcedMode, c.forced);
        EXPECT_EQ(request.hasLink, c.hasLink);
        EXPECT_EQ(request.parameters, c.parameters);
        if (c.hasLink) {
            EXPECT_EQ(request.linkPayload, c.parameters);
        }
    }
}

TEST(ParseCommandLine, NullCommandLineIsEmpty)
{
    launcher::LaunchRequest request = launcher::ParseCommandLine(nullptr);
    EXPECT_FALSE(request.forcedMode);
    EXPECT_TRUE(request.parameters.empty());
}

TEST(ParseCommandLine, VeryLongCommandLineIsKeptWhole)
{
    std::wstring line(100000, L'x');
    line += L" tessaluvian://end";
    EXPECT_EQ(launcher::ParseCommandLine(line.c_str()).parameters, L"end");
}

}  // namespace
