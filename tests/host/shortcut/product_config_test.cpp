// ProductConfig.xml on the model: the code page 936 path and the failure of every call it makes.
#include <gtest/gtest.h>

#include "../support/model_fixture.h"
#include "shortcut/product_config.h"
#include "winapi/winapi.h"

namespace {

using shortcut::ReadProductConfig;
using shortcut::ShortcutNames;

const char kNames[] =
    "<c><shortcut_cn>A</shortcut_cn><shortcut_en>B</shortcut_en>"
    "<shortcut_new_cn>C</shortcut_new_cn><shortcut_new_en>D</shortcut_new_en></c>";

using ProductConfigOnTheModel = ModelTest;

TEST_F(ProductConfigOnTheModel, TheNarrowPathIsReadInTheAnsiCodePage)
{
    struct PathCase {
        const char* name;
        const wchar_t* folder;
        UINT ansiCodePage;
        bool result;
    };
    const PathCase cases[] = {
        {"ASCII folder, code page 1252", L"C:\\Apps\\kivo", 1252, true},
        {"Chinese folder, code page 936", L"C:\\\x5E94\x7528\\kivo", 936, true},
        // The code page 936 bytes read as code page 1252 name another file.
        {"Chinese folder, code page 1252", L"C:\\\x5E94\x7528\\kivo", 1252, false},
        // Code page 936 has no Thai: the conversion puts '?' in the path, which names no file.
        {"Thai folder, code page 936", L"C:\\\x0E01\\kivo", 936, false},
        {"Thai folder, code page 1252", L"C:\\\x0E01\\kivo", 1252, false},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        winmodel::Reset();
        winmodel::SetAnsiCodePage(c.ansiCodePage);
        std::wstring path = std::wstring(c.folder) + L"//ProductConfig.xml";
        winmodel::WriteFile(path, kNames);
        ShortcutNames names;
        EXPECT_EQ(ReadProductConfig(names, path.c_str()), c.result);
        EXPECT_EQ(names.shortcut_en, c.result ? L"B" : L"");
    }
}

TEST_F(ProductConfigOnTheModel, APathTooLongForItsCodePage936FormReadsNothing)
{
    // Three folders of 43 Chinese characters: more than 260 bytes in code page 936, fewer units.
    winmodel::SetAnsiCodePage(936);
    const std::wstring folder(43, L'\x4E2D');
    const std::wstring path = L"C:\\" + folder + L"\\" + folder + L"\\" + folder + L"\\ProductConfig.xml";
    ASSERT_LT(path.size(), 260u);
    winmodel::WriteFile(path, kNames);
    ASSERT_NE(winmodel::Attributes(path), INVALID_FILE_ATTRIBUTES);
    ShortcutNames names;
    EXPECT_FALSE(ReadProductConfig(names, path.c_str()));
    EXPECT_EQ(winmodel::CallsNamed("fopen_s"), 1);  // tried with the empty path, which opens nothing
    EXPECT_EQ(names.shortcut_en, L"");
}

TEST_F(ProductConfigOnTheModel, NoFileNoLoad)
{
    ShortcutNames names;
    EXPECT_FALSE(ReadProductConfig(names, L"C:\\Apps//ProductConfig.xml"));
    EXPECT_EQ(winmodel::CallsNamed("GetFileAttributesW"), 1);
    EXPECT_EQ(winmodel::CallsNamed("fopen_s"), 0);
}

// Whichever call fails, a false result leaves the record as it was, and a true one holds in each
// field either its old value or the file's (a text that could not be converted has no effect).
TEST_F(ProductConfigOnTheModel, EveryFailingCallLeavesEachFieldOldOrNew)
{
    const std::wstring path = L"C:\\Apps\\kivo//ProductConfig.xml";
    for (long n = 1;; ++n) {
        SCOPED_TRACE(n);
        winmodel::Reset();
        winmodel::WriteFile(path, kNames);
        winmodel::FailNthCall(n);
        ShortcutNames names{L"a", L"b", L"c", L"d"};
        const bool result = ReadProductConfig(names, path.c_str());
        const bool faultHit = winmodel::FaultsHit() > 0;
        const std::wstring* fields[] = {&names.shortcut_cn, &names.shortcut_en, &names.shortcut_new_cn,
                                        &names.shortcut_new_en};
        const wchar_t* oldValues[] = {L"a", L"b", L"c", L"d"};
        const wchar_t* newValues[] = {L"A", L"B", L"C", L"D"};
        for (int i = 0; i < 4; ++i) {
            if (!result || !faultHit)
                EXPECT_EQ(*fields[i], result ? newValues[i] : oldValues[i]);
            else
                EXPECT_TRUE(*fields[i] == oldValues[i] || *fields[i] == newValues[i]) << i;
        }
        if (!faultHit) {
            EXPECT_TRUE(result);
            break;
        }
    }
}

}  // namespace
