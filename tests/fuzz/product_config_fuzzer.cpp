// Arbitrary bytes as ProductConfig.xml: the reader ends without a crash, writes nothing, leaves
// the record alone when it fails, and fills a name only with a text of 1 to 259 units.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "shortcut/product_config.h"
#include "winapi/model/steering.h"

namespace {

const std::wstring kInstall = L"C:\\fw\\kivo";
constexpr size_t kLongestName = 259;

bool Same(const shortcut::ShortcutNames& a, const shortcut::ShortcutNames& b)
{
    return a.shortcut_cn == b.shortcut_cn && a.shortcut_en == b.shortcut_en && a.shortcut_new_cn == b.shortcut_new_cn &&
           a.shortcut_new_en == b.shortcut_new_en;
}

void CheckField(const std::wstring& field, const std::wstring& before, const char* name)
{
    if (field == before) return;
    fuzz::Check(!field.empty(), "a name was set empty:", name);
    fuzz::Check(field.size() <= kLongestName, "a name is longer than 259 units:", name);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::UseOwnScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    winmodel::Reset();
    winmodel::WriteFile(kInstall + L"\\Fennowick.exe", "MZ launcher");
    winmodel::WriteFile(kInstall + L"\\ProductConfig.xml", std::string(reinterpret_cast<const char*>(data), size));
    winmodel::SetModulePath(kInstall + L"\\Fennowick.exe");
    winmodel::SetCurrentDirectory(kInstall);
    const fuzz::Picture before = fuzz::TakePicture();

    // One field empty, as a record the file has not filled yet; the others hold earlier names.
    shortcut::ShortcutNames names;
    names.shortcut_cn = L"earlier cn";
    names.shortcut_en = L"earlier en";
    names.shortcut_new_en = L"earlier new en";
    const shortcut::ShortcutNames earlier = names;

    // The path as the launcher formats it.
    const std::wstring path = kInstall + L"//ProductConfig.xml";
    if (!shortcut::ReadProductConfig(names, path.c_str())) {
        fuzz::Check(Same(names, earlier), "a failed read changed the record");
    } else {
        CheckField(names.shortcut_cn, earlier.shortcut_cn, "shortcut_cn");
        CheckField(names.shortcut_en, earlier.shortcut_en, "shortcut_en");
        CheckField(names.shortcut_new_cn, earlier.shortcut_new_cn, "shortcut_new_cn");
        CheckField(names.shortcut_new_en, earlier.shortcut_new_en, "shortcut_new_en");
    }

    fuzz::Check(winmodel::OpenFileHandles() == 0, "a file handle stays open");
    fuzz::CheckOnlyWithin(before, fuzz::TakePicture());
    fuzz::CheckNothingBesideTheSandbox();
    // A fresh world at the end as well: what a run leaves would otherwise be freed by the next
    // one, and libFuzzer, seeing more allocations than releases, would look for leaks every run.
    winmodel::Reset();
    return 0;
}
