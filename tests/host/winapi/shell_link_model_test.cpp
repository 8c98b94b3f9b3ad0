// The model's shell link answers GetPath(SLGP_SHORTPATH) with the 8.3 names that NTFS generates
// (Wine answers with the long path, so these cases cannot run there).
#include <gtest/gtest.h>

#include <string>

#include "../support/model_fixture.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

class ShortPathModel : public ModelTest {
protected:
    std::wstring ShortTarget(const std::wstring& target)
    {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        std::wstring result;
        {
            winapi::ComPtr<IShellLinkW> link;
            EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       link.ReceiveVoid()),
                      S_OK);
            EXPECT_EQ(link->SetPath(target.c_str()), S_OK);
            wchar_t buffer[MAX_PATH] = {};
            EXPECT_EQ(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_SHORTPATH), S_OK);
            result = buffer;
        }
        CoUninitialize();
        return result;
    }
};

TEST_F(ShortPathModel, NamesGetTheirNtfsShortForm)
{
    struct ShortCase {
        const wchar_t* onDisk;
        const wchar_t* shortForm;
    };
    const ShortCase cases[] = {
        {L"C:\\Program Files\\kivo app\\Fennowick.exe", L"C:\\PROGRA~1\\KIVOAP~1\\FENNOW~1.EXE"},
        {L"C:\\kivo\\kivo.exe", L"C:\\kivo\\kivo.exe"},           // already 8.3: kept as written
        {L"C:\\Apps\\Launch.EXE", L"C:\\Apps\\Launch.EXE"},
        {L"C:\\x\\a.b.c.txt", L"C:\\x\\ABC~1.TXT"},               // only the last dot stays
        {L"C:\\x\\.gitignore", L"C:\\x\\GITIGN~1"},
        {L"C:\\x\\one+two=3.json", L"C:\\x\\ONE_TW~1.JSO"},
    };
    for (const ShortCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.onDisk);
        winmodel::WriteFile(c.onDisk, "x");
        EXPECT_EQ(ShortTarget(c.onDisk), c.shortForm);
    }
}

TEST_F(ShortPathModel, NamesSharingAStemAreNumbered)
{
    winmodel::WriteFile(L"C:\\Program Files\\a.txt", "x");
    winmodel::WriteFile(L"C:\\Program Files (x86)\\b.txt", "x");
    EXPECT_EQ(ShortTarget(L"C:\\Program Files\\a.txt"), L"C:\\PROGRA~1\\a.txt");
    EXPECT_EQ(ShortTarget(L"C:\\Program Files (x86)\\b.txt"), L"C:\\PROGRA~2\\b.txt");
}

TEST_F(ShortPathModel, APathThatNamesNoFileKeepsItsLongForm)
{
    EXPECT_EQ(ShortTarget(L"D:\\Old Programs\\Fennowick.exe"), L"D:\\Old Programs\\Fennowick.exe");
}

}  // namespace
