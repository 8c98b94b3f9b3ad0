// The registry calls of the launcher, run on the Linux model and on the real API under Wine, in a
// key of its own under HKEY_CURRENT_USER that each test removes again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

class RegistryConformance : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t name[64];
        wsprintfW(name, L"Software\\fw-conformance-%u", static_cast<unsigned>(GetCurrentProcessId()));
        base_ = name;
        RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str()); }

    std::wstring Path(const wchar_t* sub) const { return base_ + L"\\" + sub; }

    winapi::ScopedRegKey Create(const wchar_t* sub, DWORD* disposition = nullptr, REGSAM access = KEY_ALL_ACCESS)
    {
        winapi::ScopedRegKey key;
        DWORD ignored = 0;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Path(sub).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                  nullptr, key.Receive(), disposition ? disposition : &ignored),
                  ERROR_SUCCESS);
        return key;
    }

    static LSTATUS SetWide(HKEY key, const wchar_t* name, const std::wstring& text)
    {
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }

    std::wstring base_;
};

TEST_F(RegistryConformance, KeysAreCreatedOnTheWayAndFoundInAnyLetterCase)
{
    winapi::ScopedRegKey missing;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Path(L"a\\b").c_str(), 0, KEY_QUERY_VALUE, missing.Receive()),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing);

    DWORD disposition = 0;
    winapi::ScopedRegKey created = Create(L"a\\b\\c", &disposition);
    ASSERT_TRUE(created);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    winapi::ScopedRegKey again = Create(L"A\\B\\C", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    winapi::ScopedRegKey middle;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Path(L"a\\B").c_str(), 0, KEY_QUERY_VALUE, middle.Receive()),
              ERROR_SUCCESS);

    // A new key has no default value.
    char data[16] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(middle.Get(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_FILE_NOT_FOUND);

    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, Path(L"a").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Path(L"a\\b").c_str(), 0, KEY_QUERY_VALUE, middle.Receive()),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryConformance, AWholeWideBufferIsStoredWithTheGivenSize)
{
    winapi::ScopedRegKey key = Create(L"command");
    wchar_t command[MAX_PATH] = {};
    wsprintfW(command, L"\"%s\" \"%s\"", L"C:\\a b\\F.exe", L"%1");
    ASSERT_EQ(RegSetValueExW(key.Get(), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                             static_cast<DWORD>(sizeof command)),
              ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key.Get(), L"", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, static_cast<DWORD>(MAX_PATH * sizeof(WCHAR)));

    wchar_t back[MAX_PATH + 8];
    std::memset(back, 0xFF, sizeof back);
    size = sizeof back;
    ASSERT_EQ(RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(back), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, static_cast<DWORD>(MAX_PATH * sizeof(WCHAR)));
    EXPECT_STREQ(back, L"\"C:\\a b\\F.exe\" \"%1\"");
    EXPECT_EQ(back[MAX_PATH - 1], L'\0');
}

TEST_F(RegistryConformance, TheAnsiQueryConvertsWideStrings)
{
    winapi::ScopedRegKey key = Create(L"Language");
    ASSERT_EQ(SetWide(key.Get(), L"", L"en-US"), ERROR_SUCCESS);
    ASSERT_EQ(SetWide(key.Get(), L"Other", L"abcdefgh"), ERROR_SUCCESS);

    char data[260] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(key.Get(), "", nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(data, "en-US");

    // Value names ignore letter case; a buffer too small is reported.
    char small[4] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "OTHER", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_GE(size, 9u);

    if (GetACP() == 1252) {
        ASSERT_EQ(SetWide(key.Get(), L"", L"caf\x00E9"), ERROR_SUCCESS);
        size = sizeof data;
        ASSERT_EQ(RegQueryValueExA(key.Get(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, 5u);
        EXPECT_STREQ(data, "caf\xE9");
    }
}

TEST_F(RegistryConformance, TheAnsiSetStoresWideStringsAndOtherTypesAsGiven)
{
    winapi::ScopedRegKey key = Create(L"values");
    ASSERT_EQ(RegSetValueExA(key.Get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>("en-US"), 6), ERROR_SUCCESS);
    wchar_t wide[16] = {};
    DWORD size = sizeof wide;
    ASSERT_EQ(RegQueryValueExW(key.Get(), L"", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, static_cast<DWORD>(6 * sizeof(WCHAR)));
    EXPECT_STREQ(wide, L"en-US");

    // Binary data comes back byte for byte from either query, without a type check by the reader.
    const BYTE bytes[] = {'e', 'n', 0, 0xFF};
    ASSERT_EQ(RegSetValueExW(key.Get(), L"bin", 0, REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    BYTE back[8] = {};
    size = sizeof back;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(key.Get(), "bin", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(back, bytes, sizeof bytes), 0);
}

TEST_F(RegistryConformance, AKeyOpenedForQueriesRefusesWrites)
{
    Create(L"ro");
    winapi::ScopedRegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Path(L"ro").c_str(), 0, KEY_QUERY_VALUE, key.Receive()),
              ERROR_SUCCESS);
    EXPECT_EQ(SetWide(key.Get(), L"", L"x"), ERROR_ACCESS_DENIED);
}

}  // namespace
