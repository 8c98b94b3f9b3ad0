// The shell-link object, the all-users desktop and the case-insensitive comparison, as the
// desktop shortcut refresh uses them: the same cases on the model and on the real API under Wine.
#include <gtest/gtest.h>

#include <string>

#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace {

class ComInit {
public:
    ComInit() : result_(CoInitialize(nullptr)) {}
    ~ComInit()
    {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

class ShellLinkConformance : public testing::Test {
protected:
    void SetUp() override
    {
        // An 8.3 folder name, so that the short and the long form of paths in it agree.
        wchar_t name[32];
        wsprintfW(name, L"C:\\L%07u", static_cast<unsigned>(GetCurrentProcessId() % 10000000u));
        folder_ = name;
        CreateDirectoryW(folder_.c_str(), nullptr);
        WriteEmpty(Path(L"target.exe"));
        ASSERT_EQ(com_.Result(), S_OK);
    }
    void TearDown() override
    {
        for (const wchar_t* leaf : {L"a.lnk", L"ro.lnk", L"target.exe"}) {
            SetFileAttributesW(Path(leaf).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Path(leaf).c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring Path(const wchar_t* leaf) const { return folder_ + L"\\" + leaf; }

    static void WriteEmpty(const std::wstring& path)
    {
        winapi::ScopedFile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
    }

    struct Link {
        winapi::ComPtr<IShellLinkW> link;
        winapi::ComPtr<IPersistFile> file;
    };
    static Link NewLink()
    {
        Link made;
        EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   made.link.ReceiveVoid()),
                  S_OK);
        if (made.link) {
            EXPECT_EQ(made.link->QueryInterface(IID_IPersistFile, made.file.ReceiveVoid()), S_OK);
        }
        return made;
    }

    ComInit com_;
    std::wstring folder_;
};

TEST_F(ShellLinkConformance, SaveThenLoadKeepsTheProperties)
{
    const std::wstring target = Path(L"target.exe");
    {
        Link link = NewLink();
        ASSERT_TRUE(link.file);
        EXPECT_EQ(link.link->SetPath(target.c_str()), S_OK);
        EXPECT_EQ(link.link->SetDescription(L"kivo \x4E2D"), S_OK);
        EXPECT_EQ(link.link->SetWorkingDirectory(folder_.c_str()), S_OK);
        EXPECT_EQ(link.link->SetIconLocation(L"C:\\Apps//kivo.ico", 3), S_OK);
        EXPECT_EQ(link.file->Save(Path(L"a.lnk").c_str(), TRUE), S_OK);
    }
    EXPECT_NE(GetFileAttributesW(Path(L"a.lnk").c_str()), INVALID_FILE_ATTRIBUTES);

    Link loaded = NewLink();
    ASSERT_TRUE(loaded.file);
    ASSERT_EQ(loaded.file->Load(Path(L"a.lnk").c_str(), STGM_READWRITE), S_OK);
    wchar_t text[MAX_PATH] = {};
    EXPECT_EQ(loaded.link->GetPath(text, MAX_PATH, nullptr, 0), S_OK);
    EXPECT_STREQ(text, target.c_str());
    // Every name in the path is an 8.3 name: the short form is the same.
    EXPECT_EQ(loaded.link->GetPath(text, MAX_PATH, nullptr, SLGP_SHORTPATH), S_OK);
    EXPECT_STREQ(text, target.c_str());
    EXPECT_EQ(loaded.link->GetDescription(text, MAX_PATH), S_OK);
    EXPECT_STREQ(text, L"kivo \x4E2D");
    EXPECT_EQ(loaded.link->GetWorkingDirectory(text, MAX_PATH), S_OK);
    EXPECT_STREQ(text, folder_.c_str());
    int index = 0;
    EXPECT_EQ(loaded.link->GetIconLocation(text, MAX_PATH, &index), S_OK);
    EXPECT_STREQ(text, L"C:\\Apps//kivo.ico");
    EXPECT_EQ(index, 3);
    EXPECT_TRUE(SUCCEEDED(loaded.link->Resolve(nullptr, SLR_UPDATE)));
    // Saving again under the remembered name.
    EXPECT_EQ(loaded.link->SetDescription(L"again"), S_OK);
    EXPECT_EQ(loaded.file->Save(Path(L"a.lnk").c_str(), TRUE), S_OK);
}

TEST_F(ShellLinkConformance, MissingFilesAndFoldersFail)
{
    Link link = NewLink();
    ASSERT_TRUE(link.file);
    EXPECT_EQ(link.file->Load(Path(L"missing.lnk").c_str(), STGM_READWRITE), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(link.file->Load(Path(L"missing\\a.lnk").c_str(), STGM_READWRITE),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    // A link that never loaded has no path: S_FALSE, which counts as success, and an empty text.
    wchar_t text[MAX_PATH] = {L'x'};
    EXPECT_EQ(link.link->GetPath(text, MAX_PATH, nullptr, SLGP_SHORTPATH), S_FALSE);
    EXPECT_STREQ(text, L"");

    EXPECT_EQ(link.link->SetPath(Path(L"target.exe").c_str()), S_OK);
    EXPECT_EQ(link.file->Save(Path(L"missing\\a.lnk").c_str(), TRUE), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(Path(L"missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ShellLinkConformance, AFileThatIsNoLinkDoesNotLoad)
{
    {
        winapi::ScopedFile file(CreateFileW(Path(L"a.lnk").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), "junk", 4, &written, nullptr));
    }
    Link link = NewLink();
    ASSERT_TRUE(link.file);
    EXPECT_EQ(link.file->Load(Path(L"a.lnk").c_str(), STGM_READWRITE), E_FAIL);
}

TEST_F(ShellLinkConformance, AReadOnlyLinkIsNotOverwritten)
{
    {
        Link link = NewLink();
        ASSERT_TRUE(link.file);
        EXPECT_EQ(link.link->SetPath(Path(L"target.exe").c_str()), S_OK);
        EXPECT_EQ(link.link->SetDescription(L"first"), S_OK);
        ASSERT_EQ(link.file->Save(Path(L"ro.lnk").c_str(), TRUE), S_OK);
    }
    ASSERT_TRUE(SetFileAttributesW(Path(L"ro.lnk").c_str(), FILE_ATTRIBUTE_READONLY));
    {
        // Wine run by root keeps the attribute but lets every write through.
        winapi::ScopedFile probe(
            CreateFileW(Path(L"ro.lnk").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (probe) GTEST_SKIP() << "this file system does not enforce read-only files";
    }
    Link link = NewLink();
    ASSERT_TRUE(link.file);
    EXPECT_EQ(link.link->SetPath(Path(L"target.exe").c_str()), S_OK);
    EXPECT_EQ(link.link->SetDescription(L"second"), S_OK);
    EXPECT_TRUE(FAILED(link.file->Save(Path(L"ro.lnk").c_str(), TRUE)));

    Link loaded = NewLink();
    ASSERT_TRUE(loaded.file);
    ASSERT_EQ(loaded.file->Load(Path(L"ro.lnk").c_str(), STGM_READ), S_OK);
    wchar_t text[MAX_PATH] = {};
    EXPECT_EQ(loaded.link->GetDescription(text, MAX_PATH), S_OK);
    EXPECT_STREQ(text, L"first");
}

TEST(ComConformance, InitialisationCountsAndTheShellLinkNeedsIt)
{
    IShellLinkW* link = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&link)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST(DesktopConformance, TheAllUsersDesktopIsAnExistingFolder)
{
    PIDLIST_ABSOLUTE location = nullptr;
    ASSERT_EQ(SHGetFolderLocation(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, &location), S_OK);
    ASSERT_NE(location, nullptr);
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE(SHGetPathFromIDListW(location, path));
    CoTaskMemFree(location);
    DWORD attributes = GetFileAttributesW(path);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(CompareConformance, OrdinalComparisonIgnoresLetterCaseBeyondAscii)
{
    struct CompareCase {
        const wchar_t* a;
        const wchar_t* b;
        BOOL ignoreCase;
        int result;
    };
    const CompareCase cases[] = {
        {L"Fennowick.exe", L"FENNOWICK.EXE", TRUE, CSTR_EQUAL},
        {L"Fennowick.exe", L"FENNOWICK.EXE", FALSE, CSTR_GREATER_THAN},
        {L"FENNOW~1.EXE", L"Fennowick.exe", TRUE, CSTR_GREATER_THAN},  // "~" sorts after letters
        {L"kiv\x00F6", L"KIV\x00D6", TRUE, CSTR_EQUAL},                         // ö Ö
        {L"\x0441\x0442\x0443\x0434\x0438\x044F", L"\x0421\x0422\x0423\x0414\x0418\x042F", TRUE, CSTR_EQUAL},
        {L"\x03B1\x03B2", L"\x0391\x0392", TRUE, CSTR_EQUAL},                    // αβ ΑΒ
        {L"\x5FEB\x6377", L"\x5FEB\x6377", TRUE, CSTR_EQUAL},
        {L"kivo", L"kivo2", TRUE, CSTR_LESS_THAN},
        {L"", L"", TRUE, CSTR_EQUAL},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
        EXPECT_EQ(CompareStringOrdinal(c.a, -1, c.b, -1, c.ignoreCase), c.result);
    }
}

}  // namespace
