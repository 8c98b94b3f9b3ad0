// The debugger feed on the model, which keeps every OutputDebugStringA call: pieces of at most 256
// characters, each a C string, and the same record on standard error in one piece.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "../support/model_fixture.h"
#include "log/app_logger.h"
#include "log/loggers.h"
#include "tests/portable/support/log_capture.h"

namespace {

using DebugFeed = ModelTest;

std::unique_ptr<cpplog::LogData> Record(const std::string& text)
{
    auto data = std::make_unique<cpplog::LogData>(cpplog::LL_INFO);
    data->stream << text;
    return data;
}

std::vector<std::size_t> PieceSizes(const std::vector<std::string>& pieces)
{
    std::vector<std::size_t> sizes;
    for (const std::string& piece : pieces) sizes.push_back(piece.size());
    return sizes;
}

TEST_F(DebugFeed, HandsTheTextOverIn256CharacterPieces)
{
    struct Case {
        std::size_t length;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {
        {1, {1}},
        {255, {255}},
        {256, {256}},
        {257, {256, 1}},
        {512, {256, 256}},
        {513, {256, 256, 1}},
        {20000, std::vector<std::size_t>(78, 256)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        winmodel::Reset();
        std::vector<std::size_t> expected = c.pieces;
        if (c.length == 20000) expected.push_back(20000 - 78 * 256);

        std::string text;
        for (std::size_t i = 0; i < c.length; ++i) text += static_cast<char>('a' + i % 26);
        cpplog::OutputDebugStringLogger logger;
        auto data = Record(text);
        EXPECT_TRUE(logger.Send(*data));

        const std::vector<std::string>& pieces = winmodel::DebugOutput();
        EXPECT_EQ(PieceSizes(pieces), expected);
        EXPECT_EQ(std::accumulate(pieces.begin(), pieces.end(), std::string()), text);
    }
}

TEST_F(DebugFeed, EachRecordIsFlushedOnItsOwn)
{
    cpplog::OutputDebugStringLogger logger;
    auto first = Record("first\n");
    auto second = Record(std::string(300, 's') + "\n");
    logger.Send(*first);
    logger.Send(*second);
    EXPECT_EQ(winmodel::DebugOutput(),
              (std::vector<std::string>{"first\n", std::string(256, 's'), std::string(44, 's') + "\n"}));
}

TEST_F(DebugFeed, ANulEndsOnlyItsOwnPieceWhileStandardErrorGetsEveryCharacter)
{
    std::string text("ab\0cd", 5);
    text += std::string(260, 'x') + "\n";  // 266 characters: pieces of 256 and 10
    auto data = Record(text);

    testing::internal::CaptureStderr();
    EXPECT_TRUE(AppLogger.Send(*data));
    const std::string standardError = testing::internal::GetCapturedStderr();

    EXPECT_EQ(winmodel::DebugOutput(), (std::vector<std::string>{"ab", std::string(9, 'x') + "\n"}));
    EXPECT_TRUE(standardError == text);
}

TEST_F(DebugFeed, AppLoggerPutsTheSameLineOnBothOutputs)
{
    logtest::FixedClock clock(logtest::kMarch7th2024);
    testing::internal::CaptureStderr();
    n_log::AppendWide(
        n_log::CustomLogMessage(kLauncherSourceFile, "WriteRegFun", 211, cpplog::LL_INFO, &AppLogger).Stream(),
        L"set reg failure: ");
    const std::string standardError = testing::internal::GetCapturedStderr();

    const std::string line = "[DID][I][2024-3-7 9:5:3] set reg failure: \n";
    EXPECT_EQ(winmodel::DebugOutput(), std::vector<std::string>{line});
    EXPECT_EQ(standardError, line);
}

}  // namespace
