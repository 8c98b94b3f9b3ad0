// ProductConfig.xml as the launcher reads it: the file's rules, on the model and on Windows.
#include <gtest/gtest.h>

#include <string>

#include "shortcut/product_config.h"
#include "tests/support/test_files.h"
#include "winapi/winapi.h"

namespace {

using shortcut::ReadProductConfig;
using shortcut::ShortcutNames;

// What the record holds before each read: fields the file does not set must keep these.
ShortcutNames Before() { return ShortcutNames{L"cn0", L"en0", L"newcn0", L"newen0"}; }

class ProductConfig : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = testfiles::MakeProcessFolder(L"fw-config");
        path_ = folder_ + L"\\ProductConfig.xml";
    }
    void TearDown() override
    {
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    void Write(const std::string& bytes) const { ASSERT_TRUE(testfiles::WriteWholeFile(path_, bytes)); }

    std::wstring folder_;
    std::wstring path_;
};

void ExpectNames(const ShortcutNames& names, const ShortcutNames& expected)
{
    EXPECT_EQ(names.shortcut_cn, expected.shortcut_cn);
    EXPECT_EQ(names.shortcut_en, expected.shortcut_en);
    EXPECT_EQ(names.shortcut_new_cn, expected.shortcut_new_cn);
    EXPECT_EQ(names.shortcut_new_en, expected.shortcut_new_en);
}

const char kFourNames[] =
    "<config>"
    "<shortcut_cn>\xE5\xBF\xAB\xE6\x8D\xB7</shortcut_cn>"  // 快捷
    "<shortcut_en>Kivo</shortcut_en>"
    "<shortcut_new_cn>\xE6\x96\xB0</shortcut_new_cn>"     // 新
    "<shortcut_new_en>Kivo Studio</shortcut_new_en>"
    "</config>";
const ShortcutNames kFourNamesRead{L"\x5FEB\x6377", L"Kivo", L"\x65B0", L"Kivo Studio"};

struct ConfigCase {
    const char* name;
    std::string file;
    bool result;
    ShortcutNames names;
};

const ConfigCase kCases[] = {
    // Files the reader refuses: false, and nothing changes.
    {"empty file", "", false, Before()},
    {"only white space", " \r\n\t ", false, Before()},
    {"syntax error after complete names", "<c><shortcut_cn>A</shortcut_cn><shortcut_en>B</shortcut_en></c", false,
     Before()},
    {"unclosed root", "<c><shortcut_cn>A</shortcut_cn>", false, Before()},
    {"no element at all", "<?xml version=\"1.0\"?><!-- nothing -->", false, Before()},
    {"nested too deep for the parser",
     "<c>" + [] {
         std::string deep;
         for (int i = 0; i < 150; ++i) deep += "<d>";
         deep += "<shortcut_cn>A</shortcut_cn>";
         for (int i = 0; i < 150; ++i) deep += "</d>";
         return deep;
     }() + "<shortcut_en>B</shortcut_en></c>",
     false, Before()},

    // Files the reader accepts.
    {"root without children", "<config/>", true, Before()},
    {"root with only text", "<config>hello</config>", true, Before()},
    {"all four names", kFourNames, true, kFourNamesRead},
    {"byte-order mark", std::string("\xEF\xBB\xBF") + kFourNames, true, kFourNamesRead},
    {"declaration and comments before the root",
     std::string("<?xml version=\"1.0\" encoding=\"GBK\"?>\n<!-- names -->\n") + kFourNames, true, kFourNamesRead},
    {"any root name, any order",
     "<Whatever><shortcut_new_en>D</shortcut_new_en><shortcut_en>B</shortcut_en></Whatever>", true,
     {L"cn0", L"B", L"newcn0", L"D"}},
    {"letter case of names does not matter",
     "<c><SHORTCUT_CN>A</SHORTCUT_CN><Shortcut_En>B</Shortcut_En><shortcut_NEW_cn>C</shortcut_NEW_cn></c>", true,
     {L"A", L"B", L"C", L"newen0"}},
    {"unknown names and attributes are passed over",
     "<c version=\"2\"><other>X</other><shortcut_cn lang=\"zh\">A</shortcut_cn><shortcut>Y</shortcut></c>", true,
     {L"A", L"en0", L"newcn0", L"newen0"}},
    {"deeper names are never visited", "<c><group><shortcut_cn>A</shortcut_cn></group></c>", true, Before()},
    {"only the first top-level element is the root", "<a/><c><shortcut_cn>A</shortcut_cn></c>", true, Before()},
    {"last text wins", "<c><shortcut_en>A</shortcut_en><shortcut_en>B</shortcut_en></c>", true,
     {L"cn0", L"B", L"newcn0", L"newen0"}},
    {"an empty later element keeps the earlier text",
     "<c><shortcut_en>A</shortcut_en><shortcut_en></shortcut_en><shortcut_en/></c>", true,
     {L"cn0", L"A", L"newcn0", L"newen0"}},
    {"elements without text leave the fields",
     "<c><shortcut_cn/><shortcut_en> \n\t </shortcut_en><shortcut_new_cn><!-- x -->A</shortcut_new_cn>"
     "<shortcut_new_en><b>B</b></shortcut_new_en></c>",
     true, Before()},
    {"blanks around a name belong to it", "<c><shortcut_en>  Kivo \n</shortcut_en></c>", true,
     {L"cn0", L"  Kivo \n", L"newcn0", L"newen0"}},
    {"line ends are normalised", "<c><shortcut_en>a\r\nb\rc</shortcut_en></c>", true,
     {L"cn0", L"a\nb\nc", L"newcn0", L"newen0"}},
    {"CDATA is text as it stands", "<c><shortcut_en><![CDATA[ <a&b> ]]></shortcut_en></c>", true,
     {L"cn0", L" <a&b> ", L"newcn0", L"newen0"}},
    {"references are decoded", "<c><shortcut_en>&lt;&amp;&gt;&quot;&apos;&#x4E2D;&#20013;</shortcut_en></c>", true,
     {L"cn0", L"<&>\"'\x4E2D\x4E2D", L"newcn0", L"newen0"}},
    {"a name of 259 units fits", "<c><shortcut_en>" + std::string(259, 'n') + "</shortcut_en></c>", true,
     {L"cn0", std::wstring(259, L'n'), L"newcn0", L"newen0"}},
    {"259 Chinese characters fit (three bytes each in UTF-8)",
     "<c><shortcut_cn>" + [] {
         std::string text;
         for (int i = 0; i < 259; ++i) text += "\xE4\xB8\xAD";
         return text;
     }() + "</shortcut_cn></c>",
     true, {std::wstring(259, L'\x4E2D'), L"en0", L"newcn0", L"newen0"}},
    // A cut name would rename the shortcut to something nobody chose: the element is ignored.
    {"a name of 260 units is ignored",
     "<c><shortcut_en>A</shortcut_en><shortcut_en>" + std::string(260, 'n') + "</shortcut_en></c>", true,
     {L"cn0", L"A", L"newcn0", L"newen0"}},
    {"an over-long text under another name changes nothing",
     "<c><notes>" + std::string(5000, 'x') + "</notes><shortcut_cn>A</shortcut_cn></c>", true,
     {L"A", L"en0", L"newcn0", L"newen0"}},
    {"nothing after the root is read", "<c><shortcut_cn>A</shortcut_cn></c><!-- done -->", true,
     {L"A", L"en0", L"newcn0", L"newen0"}},
};

TEST_F(ProductConfig, ReadsTheNamesAsTheFileRulesSay)
{
    for (const ConfigCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Write(c.file);
        ShortcutNames names = Before();
        EXPECT_EQ(ReadProductConfig(names, path_.c_str()), c.result);
        ExpectNames(names, c.names);
    }
}

TEST_F(ProductConfig, AMissingFileOrPathReadsNothing)
{
    ShortcutNames names = Before();
    EXPECT_FALSE(ReadProductConfig(names, path_.c_str()));
    EXPECT_FALSE(ReadProductConfig(names, nullptr));
    EXPECT_FALSE(ReadProductConfig(names, (folder_ + L"\\nowhere\\ProductConfig.xml").c_str()));
    // A folder in the file's place exists but cannot be loaded.
    ASSERT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
    EXPECT_FALSE(ReadProductConfig(names, path_.c_str()));
    RemoveDirectoryW(path_.c_str());
    ExpectNames(names, Before());
}

TEST_F(ProductConfig, TheFormatOfTheLaunchPathIsFound)
{
    // The launch path joins the folder and the file name with two forward slashes.
    Write(kFourNames);
    ShortcutNames names;
    EXPECT_TRUE(ReadProductConfig(names, (folder_ + L"//ProductConfig.xml").c_str()));
    ExpectNames(names, kFourNamesRead);
}

TEST_F(ProductConfig, AHugeFileIsReadToItsEnd)
{
    std::string file = "<config>";
    const std::string filler = "<item>" + std::string(200, 'x') + "</item>\n";
    while (file.size() < 2 * 1024 * 1024) file += filler;
    file += "<shortcut_en>Last</shortcut_en></config>";
    Write(file);
    ShortcutNames names = Before();
    EXPECT_TRUE(ReadProductConfig(names, path_.c_str()));
    EXPECT_EQ(names.shortcut_en, L"Last");
}

}  // namespace
