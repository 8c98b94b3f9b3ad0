// The interface language on the model: what the per-user value says, in every form it may take.
#include <gtest/gtest.h>

#include <string>

#include "../support/model_fixture.h"
#include "launcher/interface_language.h"
#include "winapi/winapi.h"

namespace {

using launcher::IsChineseUi;

const wchar_t kLanguageKey[] = L"SOFTWARE\\kivo\\Language";

winmodel::RegValue Value(DWORD type, const std::string& bytes) { return winmodel::RegValue{type, bytes}; }

// UTF-16LE bytes of a text, as Windows stores string data.
std::string Utf16(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

struct LanguageCase {
    const char* name;
    const wchar_t* valueName;  // nullptr: the key does not exist
    winmodel::RegValue value;
    bool chinese;
};

void PrintTo(const LanguageCase& c, std::ostream* os) { *os << c.name; }

class InterfaceLanguage : public ModelTest, public testing::WithParamInterface<LanguageCase> {};
class LanguageReading : public ModelTest {};

TEST_P(InterfaceLanguage, ReadsTheDefaultValue)
{
    const LanguageCase& c = GetParam();
    if (c.valueName) winmodel::SetRegValue(HKEY_CURRENT_USER, kLanguageKey, c.valueName, c.value);
    EXPECT_EQ(IsChineseUi(), c.chinese);
    EXPECT_EQ(winmodel::OpenRegKeys(), 0);
}

const std::wstring kTerminated = std::wstring(L"en-US") + L'\0';

INSTANTIATE_TEST_SUITE_P(
    Values, InterfaceLanguage,
    testing::Values(
        LanguageCase{"NoKey", nullptr, {}, true},
        LanguageCase{"ChineseValue", L"", Value(REG_SZ, Utf16(std::wstring(L"zh-CN") + L'\0')), true},
        LanguageCase{"EnglishValue", L"", Value(REG_SZ, Utf16(kTerminated)), false},
        LanguageCase{"LowerCase", L"", Value(REG_SZ, Utf16(std::wstring(L"en-us") + L'\0')), true},
        LanguageCase{"TrailingBlank", L"", Value(REG_SZ, Utf16(std::wstring(L"en-US ") + L'\0')), true},
        LanguageCase{"LeadingBlank", L"", Value(REG_SZ, Utf16(std::wstring(L" en-US") + L'\0')), true},
        LanguageCase{"Empty", L"", Value(REG_SZ, Utf16(std::wstring(1, L'\0'))), true},
        LanguageCase{"OtherText", L"", Value(REG_SZ, Utf16(std::wstring(L"fr-FR") + L'\0')), true},
        LanguageCase{"OnlyUnderAnotherName", L"Language", Value(REG_SZ, Utf16(kTerminated)), true},
        // The type is not examined.
        LanguageCase{"ExpandString", L"", Value(REG_EXPAND_SZ, Utf16(kTerminated)), false},
        LanguageCase{"BinaryWithoutTerminator", L"", Value(REG_BINARY, "en-US"), false},
        LanguageCase{"StringWithoutTerminator", L"", Value(REG_SZ, Utf16(L"en-US")), false},
        LanguageCase{"TextAfterATerminator", L"", Value(REG_SZ, Utf16(kTerminated + L"junk" + L'\0')), false},
        // The whole value must fit the 260 bytes, what follows the first terminator included.
        LanguageCase{"FillsTheBuffer", L"", Value(REG_SZ, Utf16(kTerminated + std::wstring(253, L'x') + L'\0')), false},
        LanguageCase{"OneByteTooLong", L"", Value(REG_SZ, Utf16(kTerminated + std::wstring(254, L'x') + L'\0')), true},
        // 260 bytes without any zero: compared within the buffer, never beyond it.
        LanguageCase{"FullBufferWithoutTerminator", L"", Value(REG_BINARY, std::string(260, 'e')), true}),
    [](const testing::TestParamInfo<LanguageCase>& info) { return std::string(info.param.name); });

TEST_F(LanguageReading, TheLanguageIsReadAgainOnEveryCall)
{
    winmodel::SetRegString(HKEY_CURRENT_USER, kLanguageKey, L"", L"en-US");
    EXPECT_FALSE(IsChineseUi());
    winmodel::SetRegString(HKEY_CURRENT_USER, L"software\\KIVO\\language", L"", L"zh-CN");
    EXPECT_TRUE(IsChineseUi());
    EXPECT_EQ(winmodel::CallsNamed("RegQueryValueExA"), 2);
}

TEST_F(LanguageReading, TheLanguageNeedsNoWriteAccess)
{
    winmodel::SetRegString(HKEY_CURRENT_USER, kLanguageKey, L"", L"en-US");
    winmodel::DenyRegWrites(HKEY_CURRENT_USER);
    EXPECT_FALSE(IsChineseUi());
}

TEST_F(LanguageReading, AFailedReadMeansChinese)
{
    for (const char* call : {"RegOpenKeyExW", "RegQueryValueExA"}) {
        SCOPED_TRACE(call);
        winmodel::Reset();
        winmodel::SetRegString(HKEY_CURRENT_USER, kLanguageKey, L"", L"en-US");
        winmodel::FailCall(call);
        EXPECT_TRUE(IsChineseUi());
        EXPECT_EQ(winmodel::OpenRegKeys(), 0);
    }
}

TEST_F(LanguageReading, TheValueIsConvertedToTheAnsiCodePage)
{
    // In code page 936 a Chinese text takes two bytes a character: 130 of them need 261 bytes.
    winmodel::SetAnsiCodePage(936);
    winmodel::SetRegString(HKEY_CURRENT_USER, kLanguageKey, L"", std::wstring(130, L'\x4E2D'));
    EXPECT_TRUE(IsChineseUi());
    winmodel::SetRegString(HKEY_CURRENT_USER, kLanguageKey, L"", L"en-US");
    EXPECT_FALSE(IsChineseUi());
}

}  // namespace
