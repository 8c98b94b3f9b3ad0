// The three conversions, on the model and on the real runtime.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/text_conversion.h"
#include "winapi/winapi.h"

namespace {

using launcher::Utf8ToWideText;
using launcher::WideToChsString;
using launcher::WideToGbkPath;

TEST(WideToChsString, ConvertsToCodePage936AndRestoresTheLocale)
{
    const char* before = setlocale(LC_ALL, nullptr);
    std::string saved = before ? before : "";

    EXPECT_EQ(WideToChsString(L"kivo.exe"), "kivo.exe");
    EXPECT_EQ(WideToChsString(L""), "");
    // 中文 in code page 936.
    EXPECT_EQ(WideToChsString(L"\x4E2D\x6587"), "\xD6\xD0\xCE\xC4");
    // One character outside code page 936 loses the whole text.
    EXPECT_EQ(WideToChsString(L"par: \x0E01"), "");

    const char* after = setlocale(LC_ALL, nullptr);
    EXPECT_EQ(saved, after ? after : "");
}

TEST(WideToGbkPath, FitsUpTo260BytesWithTheTerminator)
{
    char buffer[260];
    std::wstring fits(259, L'a');
    ASSERT_TRUE(WideToGbkPath(fits.c_str(), buffer));
    EXPECT_EQ(std::strlen(buffer), 259u);

    std::wstring tooLong(260, L'a');
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(WideToGbkPath(tooLong.c_str(), buffer));
    EXPECT_EQ(buffer[0], '\0');

    // Two bytes a Chinese character: 129 of them and one letter need exactly 260 bytes.
    std::wstring chinese(129, L'\x4E2D');
    chinese += L"a";
    EXPECT_TRUE(WideToGbkPath(chinese.c_str(), buffer));
    chinese += L"b";
    EXPECT_FALSE(WideToGbkPath(chinese.c_str(), buffer));

    EXPECT_FALSE(WideToGbkPath(L"", buffer));
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(WideToGbkPath(nullptr, buffer));
    EXPECT_EQ(buffer[0], 'x');  // untouched

    ASSERT_TRUE(WideToGbkPath(L"C:\\\x4E2D\\ProductConfig.xml", buffer));
    EXPECT_STREQ(buffer, "C:\\\xD6\xD0\\ProductConfig.xml");
}

TEST(Utf8ToWideText, ConvertsUpTo259Units)
{
    wchar_t buffer[260];
    ASSERT_TRUE(Utf8ToWideText("\xE4\xB8\xAD name", buffer));
    EXPECT_EQ(std::wstring(buffer), L"\x4E2D name");

    std::string longest(259, 'n');
    ASSERT_TRUE(Utf8ToWideText(longest.c_str(), buffer));
    EXPECT_EQ(std::wstring(buffer).size(), 259u);

    // One more would not fit: refused instead of cut.
    std::string tooLong(260, 'n');
    EXPECT_FALSE(Utf8ToWideText(tooLong.c_str(), buffer));

    EXPECT_FALSE(Utf8ToWideText("", buffer));
    buffer[0] = L'x';
    EXPECT_FALSE(Utf8ToWideText(nullptr, buffer));
    EXPECT_EQ(buffer[0], L'x');

    // Invalid sequences do not make it fail.
    EXPECT_TRUE(Utf8ToWideText("a\xFF" "b", buffer));
    EXPECT_EQ(buffer[0], L'a');
}

}  // namespace
