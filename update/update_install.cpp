#include "update/update_install.h"

#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "update/zip_extractor.h"
#include "winapi/winapi.h"

namespace update {

namespace {

// In the order they are deleted.
const char* const kLeftovers[] = {
    "temp\\Updater.exe", "temp\\update.td0", "temp\\update.td1", "temp\\update.td2", "temp\\update.td3", "temp\\update.td",
};

void ClearRecord(EntryRecord& record)
{
    record.index = 0;
    record.name[0] = 0;
    record.uncompressedSize = 0;
}

}  // namespace

bool GetModuleFolderAnsi(char (&folder)[1024])
{
    char path[1024] = {};
    const DWORD length = GetModuleFileNameA(GetModuleHandleW(nullptr), path, static_cast<DWORD>(std::size(path)));
    // A path that filled the buffer was cut: its folder may be another one.
    if (length == 0 || length >= std::size(path)) return false;
    const char* lastBackslash = std::strrchr(path, '\\');
    if (!lastBackslash) return false;
    const size_t folderLength = static_cast<size_t>(lastBackslash - path) + 1;
    std::memset(folder, 0, sizeof folder);
    std::memcpy(folder, path, folderLength);  // shorter than path, which fits
    return true;
}

void StageUpdate()
{
    char folder[1024] = {};
    if (!GetModuleFolderAnsi(folder)) return;

    // Missing or undeletable leftovers are passed over.
    for (const char* leftover : kLeftovers) (void)_unlink((std::string(folder) + leftover).c_str());

    const std::string pending = std::string(folder) + "temp\\" + "update.zip";
    const std::string staged = std::string(folder) + "update.zip";
    if (_access(pending.c_str(), 0) != 0) return;
    // Only a copy that is there ends the pending state; otherwise the next launch tries again.
    if (CopyFileA(pending.c_str(), staged.c_str(), FALSE)) (void)_unlink(pending.c_str());
}

void ApplyUpdateArchive()
{
    if (_access("update.zip", 0) != 0) return;

    std::optional<ZipHandle> handle = OpenZipHandle();
    EntryRecord record;
    ClearRecord(record);
    if (handle) {
        ZipExtractor& extractor = *handle->extractor;
        (void)extractor.QueryEntry(-1, record);
        const int32_t count = record.index;
        for (int32_t i = 0; i < count; ++i) {
            ClearRecord(record);
            // The extractor replaces a file only with a complete one, so nothing is deleted
            // ahead of it; an entry it refuses or cannot write leaves the old file in place.
            if (extractor.QueryEntry(i, record) != ZipOk) continue;
            (void)extractor.ExtractEntry(i, record.name);
        }
        (void)extractor.Close();
        handle.reset();
    }
    // Once it existed, update.zip goes, whatever became of its entries.
    (void)_unlink("update.zip");
}

}  // namespace update
