// The launcher folder comes from the module path by Boost's Windows rules; the Linux model must
// give the same answers, so this table runs in both builds.
#include <gtest/gtest.h>

#include "winapi/parent_path.h"

namespace {

struct ParentCase {
    const wchar_t* path;
    const wchar_t* parent;
};

const ParentCase kCases[] = {
    {L"C:\\Apps\\kivo\\Fennowick.exe", L"C:\\Apps\\kivo"},
    {L"C:\\Fennowick.exe", L"C:\\"},
    {L"C:\\Program Files (x86)\\kivo app\\Fennowick.exe", L"C:\\Program Files (x86)\\kivo app"},
    {L"C:\\Apps\\\\kivo\\\\Fennowick.exe", L"C:\\Apps\\\\kivo"},
    {L"C:\\\\Fennowick.exe", L"C:\\"},
    {L"C:/Apps/kivo/Fennowick.exe", L"C:/Apps/kivo"},
    {L"\\\\server\\share\\kivo\\Fennowick.exe", L"\\\\server\\share\\kivo"},
    {L"\\\\server\\share\\Fennowick.exe", L"\\\\server\\share"},
    {L"Fennowick.exe", L""},
    {L"C:\\Apps\\kivo\\", L"C:\\Apps\\kivo"},
    {L"", L""},
};

TEST(ParentPath, AgreesWithBoostOnWindowsPaths)
{
    for (const ParentCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << "path " << testing::PrintToString(std::wstring(c.path)));
        EXPECT_EQ(winapi::ParentPath(c.path), c.parent);
    }
}

}  // namespace
