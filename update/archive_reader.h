// Reading archives in the ZIP format of PKWARE's APPNOTE: the end record, the central directory
// walk, the local header check and an entry's data, stored or deflated, with the traditional
// PKWARE decryption and a running CRC-32. Single disk, no Zip64, smaller than 2 GiB.
//
// The only archive ever opened is "update.zip" in the current directory; its only user is the
// zip extractor. Every operation returns a ReaderStatus; nothing is thrown.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>

#include "winapi/scoped_handle.h"

namespace update {

enum ReaderStatus : int {
    StatusOk = 0,
    StatusIoError = -1,
    // No reader, no valid current entry, no open entry stream, or a name buffer too small for
    // the entry's name.
    StatusBadArgument = -102,
    StatusBadArchive = -103,
    StatusNoMemory = -104,
    StatusCrcMismatch = -105,
    StatusWrongPassword = -106,
};

inline constexpr uint32_t kEntryBufferSize = 16384;
inline constexpr uint32_t kCentralRecordSize = 46;
inline constexpr uint32_t kLocalHeaderSize = 30;

// The byte source over the archive file.
//
// Header fields and entry data are handed out through read-ahead windows instead of one ReadFile
// per byte or per block (the update archive has thousands of entries): one window follows the
// walk through the central directory, the other the local headers and data, so that going back
// and forth between them reads nothing again. A window only ever holds bytes the file has at the
// positions it says, so every position, check and status is what byte-wise reads would give: a
// seek inside a window moves within it, a seek outside both goes to SetFilePointer, and a seek
// that SetFilePointer refuses leaves the source where it stood, as it leaves the file. A failed
// ReadFile (or a failure to bring the file to a window's end before reading on) sets the
// read-error flag, whether it was made for a window or for a block.
struct ArchiveSource {
    static constexpr uint32_t kReadAheadSize = 65536;
    static constexpr int kWindowCount = 2;

    winapi::ScopedFile file;
    bool seekable = false;
    bool readError = false;  // never cleared
    uint32_t startOffset = 0;
    bool ownsHandle = true;

    // A window holds the file's bytes [start, start + length).
    struct Window {
        uint32_t start = 0;
        uint32_t length = 0;
        unsigned long long lastUse = 0;
        unsigned char bytes[kReadAheadSize];
    };
    Window windows[kWindowCount];
    // The next byte handed out is the one at windows[current].start + cursor.
    int current = 0;
    uint32_t cursor = 0;
    uint32_t filePosition = 0;  // where the file stands
    unsigned long long uses = 0;

    ~ArchiveSource();
};

// Opens "update.zip" in the current directory; none when it cannot be opened.
std::unique_ptr<ArchiveSource> OpenArchiveSource();
// Moves to start offset + position; false only when the source is not seekable.
bool SourceSeek(ArchiveSource& source, uint32_t position);
// True when all length bytes were read.
bool SourceRead(ArchiveSource& source, void* buffer, uint32_t length);
// StatusOk with *gotByte false at the end of the file (not an error at this level).
ReaderStatus SourceReadByte(ArchiveSource& source, unsigned char* byte, bool* gotByte);
// Little-endian values. A field cut off by the end of the file counts as a failed read, so that
// no record is ever built from bytes the file does not have: 0 and StatusIoError.
ReaderStatus SourceReadUInt16(ArchiveSource& source, uint32_t* value);
ReaderStatus SourceReadUInt32(ArchiveSource& source, uint32_t* value);
void CloseArchiveSource(std::unique_ptr<ArchiveSource>& source);

// Position of the end-of-central-directory record, counted from the source's start offset.
bool FindEndRecord(ArchiveSource& source, uint32_t* position);

struct CentralEntryInfo {
    uint32_t versionMadeBy = 0;  // high byte: host system
    uint32_t versionNeeded = 0;
    uint32_t flags = 0;          // bit 0: encrypted; bit 3: sizes and CRC in a data descriptor
    uint32_t method = 0;
    uint32_t dosDateTime = 0;    // time in the low half, date in the high half
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t nameLength = 0;
    uint32_t extraLength = 0;
    uint32_t commentLength = 0;
    uint32_t diskNumberStart = 0;
    uint32_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
};

struct EntryStream;

struct ArchiveReader {
    std::unique_ptr<ArchiveSource> source;
    uint32_t entryCount = 0;
    uint32_t bytesBeforeArchive = 0;
    uint32_t centralDirectoryOffset = 0;
    int32_t currentIndex = 0;
    uint32_t currentRecordPosition = 0;
    bool currentValid = false;
    CentralEntryInfo currentInfo;
    uint32_t currentLocalHeaderOffset = 0;
    std::unique_ptr<EntryStream> openStream;

    ArchiveReader();
    ~ArchiveReader();
};

// Where the entry's local extra field lies (from the archive start; the caller adds the bytes
// before the archive) and how many bytes the local name and extra field take.
struct LocalHeaderInfo {
    uint32_t extraOffset = 0;
    uint32_t extraLength = 0;
    uint32_t nameAndExtraLength = 0;
};

// Takes the source over; on failure it is closed and there is no reader.
std::unique_ptr<ArchiveReader> OpenArchiveReader(std::unique_ptr<ArchiveSource> source);
ReaderStatus RewindToFirstEntry(ArchiveReader* reader);
// True when it moved on to the following entry (whose record may still be unreadable: see
// currentValid); false when there is none or the current record was unreadable.
bool StepToNextEntry(ArchiveReader* reader);
// Each output is optional. A name is read only into a buffer that takes it and its 0 byte: a
// longer name is refused with StatusBadArgument rather than cut, since a cut name is another name.
ReaderStatus ReadCentralEntry(ArchiveReader* reader, CentralEntryInfo* info, uint32_t* localHeaderOffset,
                              char* nameBuffer, uint32_t nameBufferSize);
ReaderStatus CheckLocalHeader(ArchiveReader* reader, LocalHeaderInfo* local);
// password: narrow text, or null for none.
ReaderStatus OpenEntryData(ArchiveReader* reader, const char* password);
// The number of bytes delivered (0 or more), or a negative ReaderStatus or zlib code.
int ReadEntryData(ArchiveReader* reader, void* buffer, uint32_t length, bool* reachedEnd);
ReaderStatus CloseEntryData(ArchiveReader* reader);
void CloseArchiveReader(std::unique_ptr<ArchiveReader>& reader);

}  // namespace update
