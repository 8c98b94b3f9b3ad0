// Arbitrary bytes as update.zip in the install folder of the model: the update's installation, the
// extractor and the reader must end every run without a crash, leave no handle open, and change
// nothing outside the install folder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "update/archive_reader.h"
#include "update/update_install.h"
#include "update/zip_extractor.h"
#include "winapi/model/steering.h"
#include "winapi/winapi.h"

namespace {

const std::wstring kInstall = L"C:\\fw\\kivo";
const std::wstring kArchive = kInstall + L"\\update.zip";
// The entries a run looks at one by one outside the installation; an archive of the longest
// input holds a few hundred at most.
constexpr int32_t kEntriesLooked = 64;
// A deflated entry grows about a thousand times; the disk fills up beyond this.
constexpr long long kWriteLimit = 64LL << 20;

std::string g_installFolder;  // relative to the sandbox root

void SetUpWorld(const std::string& archive)
{
    winmodel::Reset();
    winmodel::WriteFile(kInstall + L"\\Fennowick.exe", "MZ launcher");
    winmodel::WriteFile(kInstall + L"\\kivo.exe", "installed kivo");
    winmodel::WriteFile(kInstall + L"\\bin\\a.dll", "installed dll");
    // Beside the install folder: its parent, a sibling whose name starts alike, another drive.
    winmodel::WriteFile(L"C:\\fw\\outside.txt", "outside");
    winmodel::WriteFile(L"C:\\fw\\kivo2\\sibling.txt", "sibling");
    winmodel::WriteFile(L"D:\\data.txt", "other drive");
    winmodel::SetModulePath(kInstall + L"\\Fennowick.exe");
    winmodel::SetCurrentDirectory(kInstall);
    winmodel::WriteFile(kArchive, archive);
    winmodel::SetWriteLimit(kWriteLimit);
    g_installFolder = fuzz::SandboxRelative(kInstall);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// What the extractor may hand out as an entry's name: relative, no drive, no climbing component.
void CheckEntryName(const update::EntryRecord& record)
{
    const size_t length = std::wcslen(record.name);  // the array ends with a 0 unit by its size
    fuzz::Check(length > 0 && length < std::size(record.name), "entry name length");
    fuzz::Check(!IsSeparator(record.name[0]) && record.name[1] != L':', "entry name is not relative");
    const wchar_t* component = record.name;
    for (;;) {
        size_t n = 0;
        while (component[n] != 0 && !IsSeparator(component[n])) ++n;
        fuzz::Check(!(n == 2 && component[0] == L'.' && component[1] == L'.'), "entry name climbs");
        if (component[n] == 0) break;
        component += n + 1;
    }
}

void CheckAfterRun(const fuzz::Picture& before, const char* step)
{
    fuzz::Check(winmodel::OpenFileHandles() == 0, "a file handle stays open after", step);
    fuzz::Check(winmodel::CurrentDirectory() == kInstall, "the current directory moved in", step);
    const fuzz::Picture after = fuzz::TakePicture();
    fuzz::CheckOnlyWithin(before, after, g_installFolder);
    // An update replaces installed files, never removes one: an entry that cannot be written
    // leaves the old file where it was.
    const std::string archive = fuzz::SandboxRelative(kArchive);
    for (const auto& [path, content] : before) {
        if (path == archive || fuzz::IsFolder(content) || !fuzz::Within(path, g_installFolder)) continue;
        auto it = after.find(path);
        fuzz::Check(it != after.end() && !fuzz::IsFolder(it->second), "an installed file is gone after", step + (": " + path));
    }
    for (const auto& [path, content] : after)
        fuzz::Check(path.find("~fw") == std::string::npos, "a temporary file stays after", step + (": " + path));
    fuzz::CheckNothingBesideTheSandbox();
}

// The installation as the launcher runs it.
void ApplyAsTheLauncher(const fuzz::Picture& before)
{
    update::ApplyUpdateArchive();
    fuzz::Check(!winmodel::Exists(kArchive), "update.zip stays after ApplyUpdateArchive");
    CheckAfterRun(before, "ApplyUpdateArchive");
}

// The extractor in an order of its own: from the last entry down, each queried twice, with the
// bounds around.
void ExtractBackwards(const std::string& archive, const fuzz::Picture& before)
{
    winmodel::WriteFile(kArchive, archive);
    {
        std::optional<update::ZipHandle> handle = update::OpenZipHandle();
        if (!handle) return;
        update::ZipExtractor& extractor = *handle->extractor;
        fuzz::Check(extractor.Open() == update::ZipAlreadyOpen, "a second Open");

        update::EntryRecord record;
        fuzz::Check(extractor.QueryEntry(-1, record) == update::ZipOk, "the count query");
        const int32_t count = record.index;
        fuzz::Check(count >= 0 && count <= 65535, "entry count");
        fuzz::Check(extractor.QueryEntry(-2, record) == update::ZipBadIndex, "index -2");
        fuzz::Check(extractor.QueryEntry(count, record) == update::ZipBadIndex, "index count");
        fuzz::Check(extractor.ExtractEntry(count, L"x") == update::ZipBadIndex, "extract index count");
        fuzz::Check(extractor.ExtractEntry(-1, L"x") == update::ZipBadIndex, "extract index -1");

        for (int32_t i = count - 1; i >= 0 && i >= count - kEntriesLooked; --i) {
            update::EntryRecord first;
            if (extractor.QueryEntry(i, first) != update::ZipOk) {
                // An entry without a record is never written, whatever the name asked for.
                const std::wstring target = kInstall + L"\\unrecorded.bin";
                const bool existed = winmodel::Exists(target);
                fuzz::Check(extractor.ExtractEntry(i, L"unrecorded.bin") != update::ZipOk, "extract without record");
                fuzz::Check(existed || !winmodel::Exists(target), "file written without record");
                continue;
            }
            fuzz::Check(first.index == i, "record index");
            CheckEntryName(first);
            update::EntryRecord again;
            fuzz::Check(extractor.QueryEntry(i, again) == update::ZipOk, "second query");
            fuzz::Check(std::wcscmp(first.name, again.name) == 0 && first.attributes == again.attributes &&
                            first.uncompressedSize == again.uncompressedSize,
                        "second query differs");
            const bool existed = winmodel::Exists(kInstall + L"\\" + first.name);
            const update::ZipResult extracted = extractor.ExtractEntry(i, first.name);
            if (first.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            std::string written;
            if (extracted == update::ZipOk) {
                // A file reported written holds as many bytes as the central record announces.
                fuzz::Check(winmodel::ReadWholeFile(kInstall + L"\\" + first.name, &written) &&
                                written.size() == first.uncompressedSize,
                            "an extracted file has another size than its entry");
            } else if (!existed) {
                // A failed entry leaves nothing where there was nothing.
                fuzz::Check(!winmodel::Exists(kInstall + L"\\" + first.name), "a failed entry left a file");
            }
        }
        fuzz::Check(extractor.Close() == update::ZipOk, "Close");
        fuzz::Check(extractor.QueryEntry(0, record) == update::ZipFileUnavailable, "query after Close");
    }
    CheckAfterRun(before, "the extractor");
}

// The reader on its own: every entry's data in small reads, with a password, names into a small
// buffer.
void ReadEveryEntry(const std::string& archive)
{
    winmodel::WriteFile(kArchive, archive);
    std::unique_ptr<update::ArchiveReader> reader = update::OpenArchiveReader(update::OpenArchiveSource());
    if (!reader) {
        fuzz::Check(winmodel::OpenFileHandles() == 0, "a failed open keeps the archive open");
        return;
    }
    unsigned char buffer[1000];
    for (int32_t i = 0; i < kEntriesLooked; ++i) {
        char name[16];
        std::memset(name, 'x', sizeof name);
        const update::ReaderStatus central = update::ReadCentralEntry(reader.get(), nullptr, nullptr, name, sizeof name);
        if (central == update::StatusOk) fuzz::Check(std::memchr(name, 0, sizeof name) != nullptr, "name terminator");

        if (update::OpenEntryData(reader.get(), i % 2 ? "password" : nullptr) == update::StatusOk) {
            const uint32_t announced = reader->currentInfo.uncompressedSize;
            uint64_t delivered = 0;
            for (;;) {
                bool reachedEnd = false;
                const int n = update::ReadEntryData(reader.get(), buffer, sizeof buffer, &reachedEnd);
                if (n < 0) break;
                fuzz::Check(static_cast<uint32_t>(n) <= sizeof buffer, "a read beyond its length");
                delivered += static_cast<uint32_t>(n);
                fuzz::Check(delivered <= announced, "more data than the central record announces");
                if (reachedEnd || n == 0) break;
            }
            (void)update::CloseEntryData(reader.get());
        }
        if (!update::StepToNextEntry(reader.get())) break;
    }
    update::CloseArchiveReader(reader);
    fuzz::Check(winmodel::OpenFileHandles() == 0, "the reader keeps the archive open");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::UseOwnScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string archive(reinterpret_cast<const char*>(data), size);
    SetUpWorld(archive);
    const fuzz::Picture before = fuzz::TakePicture();
    ApplyAsTheLauncher(before);
    ExtractBackwards(archive, before);
    ReadEveryEntry(archive);
    // A fresh world at the end as well: what a run leaves would otherwise be freed by the next
    // one, and libFuzzer, seeing more allocations than releases, would look for leaks every run.
    winmodel::Reset();
    return 0;
}
