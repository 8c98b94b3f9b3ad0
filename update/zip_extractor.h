// The zip extractor: opens "update.zip" against a base folder (the current directory at opening),
// describes entries and writes them under that folder with their attributes and times. This is
// where entry names from the archive become file names, so names are guarded and checked here,
// where they are made, and an unsafe one never reaches a later step.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "update/archive_reader.h"
#include "winapi/winapi.h"

namespace update {

enum ZipResult : uint32_t {
    ZipOk = 0,
    // "update.zip" cannot be opened or holds no readable archive; the output file cannot be made
    // or cannot replace the file in its place (read-only, in use, a folder).
    ZipFileUnavailable = 0x200,
    ZipWriteFailed = 0x400,
    ZipHeaderMismatch = 0x700,
    ZipExtraUnreadable = 0x800,
    ZipWrongPassword = 0x1000,
    // The entry's name is refused: it would leave the base folder, name a stream or a device,
    // hold a character Windows forbids or would change, is empty, or makes a path longer than
    // 259 units. Nothing is written for it.
    ZipNameRefused = 0x2000,
    // The entry's central record cannot be reached or read; nothing is built from it.
    ZipRecordUnreadable = 0x4000,
    ZipBadIndex = 0x10000,
    ZipAlreadyOpen = 0x1000000,
    // Reading or inflating failed, the data ended early, or its CRC-32 does not match.
    ZipDataFailed = 0x5000000,
};

inline constexpr size_t kZipNameSize = 260;

struct EntryRecord {
    int32_t index = 0;
    wchar_t name[kZipNameSize] = {};
    DWORD attributes = 0;
    FILETIME lastAccessTime = {};
    FILETIME creationTime = {};
    FILETIME lastWriteTime = {};
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
};

class ZipExtractor {
public:
    ZipExtractor();
    ~ZipExtractor();
    ZipExtractor(const ZipExtractor&) = delete;
    ZipExtractor& operator=(const ZipExtractor&) = delete;

    ZipResult Open();
    // index -1 asks for the number of entries (in record.index).
    ZipResult QueryEntry(int32_t index, EntryRecord& record);
    // target: at most 259 units, relative to the base folder unless it starts with a separator
    // or a drive.
    ZipResult ExtractEntry(int32_t index, const wchar_t* target);
    ZipResult Close();

    // No password is ever given by the update; encrypted entries are then tried with none.
    void SetPassword(const char* password);

private:
    bool ReachEntry(int32_t index);
    ZipResult WriteEntryFile(const EntryRecord& record, const wchar_t* folder, const wchar_t* path, bool* noFolder);
    void MakeFolders(const wchar_t* base, const wchar_t* folder);
    void NoteFolderMade(const wchar_t* path);
    struct MadeFolder;
    MadeFolder* FindMadeFolder(const wchar_t* path);

    std::unique_ptr<ArchiveReader> reader_;
    EntryRecord cachedRecord_;
    int32_t cachedIndex_ = -1;
    std::optional<std::string> password_;
    std::unique_ptr<unsigned char[]> outputBuffer_;
    wchar_t baseFolder_[MAX_PATH] = {};
    uint32_t tempSerial_ = 0;  // varies the names of the files written beside their targets
    // The folder part of the last entry written: its folders are there, so the next entry in the
    // same folder need not look for them again.
    bool folderWritten_ = false;
    wchar_t writtenFolder_[MAX_PATH] = {};
    // The last folders this extraction made. A folder is empty when it is made, so whatever is in
    // it was put there since: until a read-only file or a folder is, a target in it is known to
    // be neither and is not looked for. Paths without a trailing separator.
    struct MadeFolder {
        wchar_t path[MAX_PATH] = {};
        bool mustLook = false;
    };
    static constexpr size_t kMadeFoldersKept = 8;
    MadeFolder madeFolders_[kMadeFoldersKept];
    size_t nextMadeFolder_ = 0;
};

struct ZipHandle {
    int32_t kind = 1;  // a reading handle, the only kind there is
    std::unique_ptr<ZipExtractor> extractor;
};

// A new extractor, opened; none when it cannot be opened.
std::optional<ZipHandle> OpenZipHandle();

// Makes base (when given and missing), then each folder of folder from the outermost in.
// Failures show later, as a file that cannot be created.
void CreateFolderPath(const wchar_t* base, const wchar_t* folder);

// The DOS date and time as a local FILETIME; {0, 0} when they are not a valid date and time.
FILETIME DosTimeToFileTime(uint16_t date, uint16_t time);

}  // namespace update
