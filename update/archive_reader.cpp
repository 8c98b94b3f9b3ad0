#include "update/archive_reader.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "winapi/winapi.h"

namespace update {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kMaxEndSearch = 65535;
constexpr uint32_t kSearchStep = 1024;
constexpr uint32_t kEncryptionHeaderSize = 12;

constexpr uint32_t kFlagEncrypted = 0x1;
constexpr uint32_t kFlagDataDescriptor = 0x8;

// Positions go to SetFilePointer as a signed 32-bit distance without a high part.
constexpr uint32_t kMaxArchiveSize = 0x80000000u;

// Brings the file to position, where the next read must start; false (a failed read) when it
// cannot be brought there.
bool StandAt(ArchiveSource& source, uint32_t position)
{
    if (source.filePosition == position) return true;
    if (SetFilePointer(source.file.Get(), static_cast<LONG>(position), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    source.filePosition = position;
    return true;
}

// Empties the current window at position, which becomes the source's position.
void EmptyAt(ArchiveSource& source, uint32_t position)
{
    ArchiveSource::Window& window = source.windows[source.current];
    window.start = position;
    window.length = 0;
    window.lastUse = ++source.uses;
    source.cursor = 0;
}

// Refills the current window from where it ends.
void RefillWindow(ArchiveSource& source)
{
    ArchiveSource::Window& window = source.windows[source.current];
    const uint32_t position = window.start + window.length;
    EmptyAt(source, position);
    DWORD got = 0;
    if (!StandAt(source, position) ||
        !ReadFile(source.file.Get(), window.bytes, static_cast<DWORD>(std::size(window.bytes)), &got, nullptr)) {
        source.readError = true;
        got = 0;
    }
    window.length = std::min<uint32_t>(got, static_cast<uint32_t>(std::size(window.bytes)));
    source.filePosition = position + window.length;
}

// ---- traditional PKWARE decryption ----------------------------------------------------------

struct Keys {
    uint32_t k0, k1, k2;
};

uint32_t CrcStep(uint32_t crc, unsigned char byte)
{
    const z_crc_t* table = get_crc_table();
    return static_cast<uint32_t>(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

void UpdateKeys(Keys& keys, unsigned char plain)
{
    keys.k0 = CrcStep(keys.k0, plain);
    keys.k1 = (keys.k1 + (keys.k0 & 0xFF)) * 134775813u + 1;
    keys.k2 = CrcStep(keys.k2, static_cast<unsigned char>(keys.k1 >> 24));
}

unsigned char KeyStreamByte(const Keys& keys)
{
    const uint32_t temp = (keys.k2 | 2) & 0xFFFF;
    return static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
}

void InitKeys(Keys& keys, const char* password)
{
    keys = {0x12345678u, 0x23456789u, 0x34567890u};
    if (!password) return;
    for (const char* p = password; *p; ++p) UpdateKeys(keys, static_cast<unsigned char>(*p));
}

void Decrypt(Keys& keys, unsigned char* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char plain = static_cast<unsigned char>(bytes[i] ^ KeyStreamByte(keys));
        UpdateKeys(keys, plain);
        bytes[i] = plain;
    }
}

}  // namespace

struct EntryStream {
    std::unique_ptr<unsigned char[]> readBuffer;
    z_stream zstream{};
    bool inflateReady = false;
    uint32_t nextDataPosition = 0;
    uint32_t runningCrc = 0;
    uint32_t expectedCrc = 0;
    uint32_t compressedLeft = 0;
    uint32_t uncompressedLeft = 0;
    uint32_t method = 0;
    bool encrypted = false;
    Keys keys{};
    uint32_t headerLeft = 0;
    unsigned char checkByte = 0;
    // Bytes of the read buffer not yet used.
    uint32_t pendingOffset = 0;
    uint32_t pendingCount = 0;

    ~EntryStream()
    {
        if (inflateReady) inflateEnd(&zstream);
    }
};

// ---- the source ---------------------------------------------------------------------------------

ArchiveSource::~ArchiveSource()
{
    if (!ownsHandle) (void)file.Release();
}

std::unique_ptr<ArchiveSource> OpenArchiveSource()
{
    winapi::ScopedFile file(CreateFileW(L"update.zip",
                                        GENERIC_READ,
                                        FILE_SHARE_READ,
                                        nullptr,  // no security attributes
                                        OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL,
                                        nullptr));  // no template
    if (!file) return nullptr;
    std::unique_ptr<ArchiveSource> source(new (std::nothrow) ArchiveSource);
    if (!source) return nullptr;
    const DWORD position = SetFilePointer(file.Get(), 0, nullptr, FILE_CURRENT);
    source->seekable = position != INVALID_SET_FILE_POINTER;
    source->startOffset = source->seekable ? position : 0;
    source->filePosition = source->startOffset;
    EmptyAt(*source, source->startOffset);
    source->file = std::move(file);
    return source;
}

bool SourceSeek(ArchiveSource& source, uint32_t position)
{
    if (!source.seekable) return false;
    const uint32_t target = source.startOffset + position;
    // The current window first, then the other.
    for (int i = 0; i < ArchiveSource::kWindowCount; ++i) {
        const int w = (source.current + i) % ArchiveSource::kWindowCount;
        ArchiveSource::Window& window = source.windows[w];
        if (target >= window.start && target - window.start <= window.length) {
            source.current = w;
            source.cursor = target - window.start;
            window.lastUse = ++source.uses;
            return true;
        }
    }
    // The seek's own result does not make this fail; a refused seek leaves the file, and so the
    // source, where it stood. An accepted one starts over in the window used least recently.
    if (SetFilePointer(source.file.Get(), static_cast<LONG>(target), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        source.filePosition = target;
        source.current = source.windows[0].lastUse <= source.windows[1].lastUse ? 0 : 1;
        EmptyAt(source, target);
    }
    return true;
}

bool SourceRead(ArchiveSource& source, void* buffer, uint32_t length)
{
    auto* out = static_cast<unsigned char*>(buffer);
    ArchiveSource::Window& window = source.windows[source.current];
    const uint32_t fromWindow = std::min(length, window.length - source.cursor);
    if (fromWindow > 0) {
        std::memcpy(out, window.bytes + source.cursor, fromWindow);
        source.cursor += fromWindow;
    }
    uint32_t rest = length - fromWindow;
    if (rest == 0) return true;
    out += fromWindow;

    if (rest < std::size(window.bytes)) {
        RefillWindow(source);
        const uint32_t n = std::min(rest, window.length);
        std::memcpy(out, window.bytes, n);
        source.cursor = n;
        return n == rest;
    }
    // Blocks as large as a window go straight to the caller's buffer in one ReadFile.
    const uint32_t position = window.start + window.length;
    DWORD got = 0;
    if (!StandAt(source, position) || !ReadFile(source.file.Get(), out, rest, &got, nullptr)) {
        source.readError = true;
        got = 0;
    }
    got = std::min<DWORD>(got, rest);
    source.filePosition = position + got;
    EmptyAt(source, position + got);
    return got == rest;
}

ReaderStatus SourceReadByte(ArchiveSource& source, unsigned char* byte, bool* gotByte)
{
    *gotByte = false;
    const ArchiveSource::Window& window = source.windows[source.current];
    if (source.cursor == window.length) RefillWindow(source);
    if (source.cursor < window.length) {
        *byte = window.bytes[source.cursor++];
        *gotByte = true;
        return StatusOk;
    }
    return source.readError ? StatusIoError : StatusOk;
}

namespace {

ReaderStatus ReadLittleEndian(ArchiveSource& source, int width, uint32_t* value)
{
    uint32_t result = 0;
    for (int i = 0; i < width; ++i) {
        unsigned char byte = 0;
        bool got = false;
        if (SourceReadByte(source, &byte, &got) != StatusOk || !got) {
            *value = 0;
            return StatusIoError;
        }
        result |= static_cast<uint32_t>(byte) << (8 * i);
    }
    *value = result;
    return StatusOk;
}

// Record readers go on after a failed field and report the first failure kind at the end; a
// failed field counts as 0.
void ReadField(ArchiveSource& source, int width, uint32_t* value, ReaderStatus* status)
{
    if (ReadLittleEndian(source, width, value) != StatusOk) *status = StatusIoError;
}

}  // namespace

ReaderStatus SourceReadUInt16(ArchiveSource& source, uint32_t* value) { return ReadLittleEndian(source, 2, value); }
ReaderStatus SourceReadUInt32(ArchiveSource& source, uint32_t* value) { return ReadLittleEndian(source, 4, value); }

void CloseArchiveSource(std::unique_ptr<ArchiveSource>& source) { source.reset(); }

// ---- the end record -----------------------------------------------------------------------------

bool FindEndRecord(ArchiveSource& source, uint32_t* position)
{
    if (!source.seekable) return false;
    const DWORD end = SetFilePointer(source.file.Get(), 0, nullptr, FILE_END);
    // An end position that cannot be had, or one beyond what a signed 32-bit seek reaches, means
    // no archive this reader can handle.
    if (end == INVALID_SET_FILE_POINTER || end >= kMaxArchiveSize || end < source.startOffset) return false;
    source.filePosition = end;
    EmptyAt(source, end);
    const uint32_t fileSize = end - source.startOffset;

    const uint32_t maxBack = std::min(kMaxEndSearch, fileSize);
    std::unique_ptr<unsigned char[]> window(new (std::nothrow) unsigned char[kSearchStep + 4]);
    if (!window) return false;

    uint32_t reach = 4;
    while (reach < maxBack) {
        reach = std::min(reach + kSearchStep, maxBack);
        const uint32_t start = fileSize - reach;
        const uint32_t length = std::min(kSearchStep + 4, reach);
        if (!SourceSeek(source, start) || !SourceRead(source, window.get(), length)) return false;
        // The highest hit in the window; windows overlap by 4 bytes, so a signature across the
        // lower edge lies whole in the next (earlier) window.
        for (uint32_t i = length - 4 + 1; i-- > 0;) {
            if (window[i] == 0x50 && window[i + 1] == 0x4B && window[i + 2] == 0x05 && window[i + 3] == 0x06) {
                *position = start + i;
                return true;
            }
        }
    }
    return false;
}

// ---- the reader ---------------------------------------------------------------------------------

ArchiveReader::ArchiveReader() = default;
ArchiveReader::~ArchiveReader() = default;

std::unique_ptr<ArchiveReader> OpenArchiveReader(std::unique_ptr<ArchiveSource> source)
{
    if (!source) return nullptr;
    uint32_t endPosition = 0;
    if (!FindEndRecord(*source, &endPosition) || !SourceSeek(*source, endPosition)) return nullptr;

    ReaderStatus status = StatusOk;
    uint32_t signature, thisDisk, centralDisk, entriesHere, entriesTotal, centralSize, centralOffset, commentLength;
    ReadField(*source, 4, &signature, &status);  // found by the search; not compared again
    ReadField(*source, 2, &thisDisk, &status);
    ReadField(*source, 2, &centralDisk, &status);
    ReadField(*source, 2, &entriesHere, &status);
    ReadField(*source, 2, &entriesTotal, &status);
    ReadField(*source, 4, &centralSize, &status);
    ReadField(*source, 4, &centralOffset, &status);
    ReadField(*source, 2, &commentLength, &status);
    if (status != StatusOk) return nullptr;
    if (thisDisk != 0 || centralDisk != 0 || entriesHere != entriesTotal) return nullptr;
    // In 64 bits: a directory offset and size that wrap around 32 bits must not pass.
    const uint64_t endInFile = static_cast<uint64_t>(source->startOffset) + endPosition;
    const uint64_t directoryEnd = static_cast<uint64_t>(centralOffset) + centralSize;
    if (endInFile < directoryEnd) return nullptr;

    std::unique_ptr<ArchiveReader> reader(new (std::nothrow) ArchiveReader);
    if (!reader) return nullptr;
    reader->bytesBeforeArchive = static_cast<uint32_t>(endInFile - directoryEnd);
    source->startOffset = 0;
    reader->source = std::move(source);
    reader->entryCount = entriesTotal;
    reader->centralDirectoryOffset = centralOffset;
    // An archive without entries opens all the same, with no valid current entry.
    (void)RewindToFirstEntry(reader.get());
    return reader;
}

ReaderStatus ReadCentralEntry(ArchiveReader* reader, CentralEntryInfo* info, uint32_t* localHeaderOffset,
                              char* nameBuffer, uint32_t nameBufferSize)
{
    if (!reader || !reader->source) return StatusBadArgument;
    ArchiveSource& source = *reader->source;
    ReaderStatus status = StatusOk;
    // Not seekable: an I/O error, and reading goes on from wherever the file stands.
    if (!SourceSeek(source, reader->currentRecordPosition + reader->bytesBeforeArchive)) status = StatusIoError;

    uint32_t signature = 0;
    if (SourceReadUInt32(source, &signature) != StatusOk)
        status = StatusIoError;
    else if (signature != kCentralSignature && status == StatusOk)
        status = StatusBadArchive;

    CentralEntryInfo read;
    ReadField(source, 2, &read.versionMadeBy, &status);
    ReadField(source, 2, &read.versionNeeded, &status);
    ReadField(source, 2, &read.flags, &status);
    ReadField(source, 2, &read.method, &status);
    ReadField(source, 4, &read.dosDateTime, &status);
    ReadField(source, 4, &read.crc32, &status);
    ReadField(source, 4, &read.compressedSize, &status);
    ReadField(source, 4, &read.uncompressedSize, &status);
    ReadField(source, 2, &read.nameLength, &status);
    ReadField(source, 2, &read.extraLength, &status);
    ReadField(source, 2, &read.commentLength, &status);
    ReadField(source, 2, &read.diskNumberStart, &status);
    ReadField(source, 2, &read.internalAttributes, &status);
    ReadField(source, 4, &read.externalAttributes, &status);
    uint32_t offset = 0;
    if (SourceReadUInt32(source, &offset) != StatusOk) return StatusIoError;
    if (status != StatusOk) return status;

    if (nameBuffer) {
        if (read.nameLength >= nameBufferSize) return StatusBadArgument;
        // The name follows the fixed part, where the source now stands.
        if (read.nameLength > 0 && !SourceRead(source, nameBuffer, read.nameLength)) {
            nameBuffer[0] = 0;  // never left without its terminator
            return StatusIoError;
        }
        nameBuffer[read.nameLength] = 0;
    }
    if (info) *info = read;
    if (localHeaderOffset) *localHeaderOffset = offset;
    return StatusOk;
}

namespace {

ReaderStatus ReadCurrentRecord(ArchiveReader* reader)
{
    const ReaderStatus status =
        ReadCentralEntry(reader, &reader->currentInfo, &reader->currentLocalHeaderOffset, nullptr, 0);
    reader->currentValid = status == StatusOk;
    return status;
}

}  // namespace

ReaderStatus RewindToFirstEntry(ArchiveReader* reader)
{
    if (!reader) return StatusBadArgument;
    reader->currentRecordPosition = reader->centralDirectoryOffset;
    reader->currentIndex = 0;
    return ReadCurrentRecord(reader);
}

bool StepToNextEntry(ArchiveReader* reader)
{
    if (!reader || !reader->currentValid) return false;
    if (static_cast<uint32_t>(reader->currentIndex) + 1 == reader->entryCount) return false;
    const CentralEntryInfo& info = reader->currentInfo;
    reader->currentIndex += 1;
    reader->currentRecordPosition += kCentralRecordSize + info.nameLength + info.extraLength + info.commentLength;
    (void)ReadCurrentRecord(reader);
    return true;
}

ReaderStatus CheckLocalHeader(ArchiveReader* reader, LocalHeaderInfo* local)
{
    if (!reader || !reader->source || !reader->currentValid) return StatusBadArgument;
    ArchiveSource& source = *reader->source;
    if (!SourceSeek(source, reader->currentLocalHeaderOffset + reader->bytesBeforeArchive)) return StatusIoError;

    ReaderStatus readStatus = StatusOk;
    uint32_t signature, versionNeeded, flags, method, dosDateTime, crc, compressedSize, uncompressedSize, nameLength,
        extraLength;
    ReadField(source, 4, &signature, &readStatus);
    ReadField(source, 2, &versionNeeded, &readStatus);  // not compared
    ReadField(source, 2, &flags, &readStatus);
    ReadField(source, 2, &method, &readStatus);
    ReadField(source, 4, &dosDateTime, &readStatus);    // not compared
    ReadField(source, 4, &crc, &readStatus);
    ReadField(source, 4, &compressedSize, &readStatus);
    ReadField(source, 4, &uncompressedSize, &readStatus);
    ReadField(source, 2, &nameLength, &readStatus);
    ReadField(source, 2, &extraLength, &readStatus);
    // A failed read outweighs any mismatch, wherever either was met.
    if (readStatus != StatusOk) return StatusIoError;

    const CentralEntryInfo& central = reader->currentInfo;
    bool match = signature == kLocalSignature && method == central.method && (central.method == 0 || central.method == 8) &&
                 nameLength == central.nameLength;
    // Bit 3 of the local flags: the local CRC and sizes are in a data descriptor, not here.
    if (!(flags & kFlagDataDescriptor))
        match = match && crc == central.crc32 && compressedSize == central.compressedSize &&
                uncompressedSize == central.uncompressedSize;
    if (!match) return StatusBadArchive;

    if (local) {
        local->extraOffset = reader->currentLocalHeaderOffset + kLocalHeaderSize + nameLength;
        local->extraLength = extraLength;
        local->nameAndExtraLength = nameLength + extraLength;
    }
    return StatusOk;
}

// ---- entry data ---------------------------------------------------------------------------------

ReaderStatus OpenEntryData(ArchiveReader* reader, const char* password)
{
    if (!reader || !reader->currentValid) return StatusBadArgument;
    if (reader->openStream) (void)CloseEntryData(reader);

    LocalHeaderInfo local;
    if (CheckLocalHeader(reader, &local) != StatusOk) return StatusBadArchive;

    std::unique_ptr<EntryStream> stream(new (std::nothrow) EntryStream);
    if (!stream) return StatusNoMemory;
    stream->readBuffer.reset(new (std::nothrow) unsigned char[kEntryBufferSize]);
    if (!stream->readBuffer) return StatusNoMemory;

    const CentralEntryInfo& info = reader->currentInfo;
    stream->runningCrc = 0;
    stream->expectedCrc = info.crc32;
    stream->compressedLeft = info.compressedSize;
    stream->uncompressedLeft = info.uncompressedSize;
    stream->method = info.method;
    stream->nextDataPosition = reader->currentLocalHeaderOffset + kLocalHeaderSize + local.nameAndExtraLength;
    if (info.method != 0) {
        // Raw deflate: no zlib header, no check value, a 32 KiB window. On failure the stream
        // stays open without inflate and its reads fail.
        stream->inflateReady = inflateInit2(&stream->zstream, -15) == Z_OK;
    }
    stream->encrypted = (info.flags & kFlagEncrypted) != 0;
    stream->headerLeft = stream->encrypted ? kEncryptionHeaderSize : 0;
    // With a data descriptor the CRC is not known when the header is written: the check byte is
    // then the high byte of the DOS time. The central flags decide, never the local ones.
    stream->checkByte = (info.flags & kFlagDataDescriptor) ? static_cast<unsigned char>((info.dosDateTime >> 8) & 0xFF)
                                                           : static_cast<unsigned char>(info.crc32 >> 24);
    InitKeys(stream->keys, password);
    reader->openStream = std::move(stream);
    return StatusOk;
}

namespace {

// The size of the entry's next block of archive bytes: a read buffer's worth, or what is left.
uint32_t NextBlockSize(const EntryStream& stream) { return std::min(kEntryBufferSize, stream.compressedLeft); }

// Reads the entry's next block, length bytes, to destination.
bool ReadDataBlock(ArchiveReader& reader, EntryStream& stream, unsigned char* destination, uint32_t length)
{
    if (!SourceSeek(*reader.source, stream.nextDataPosition + reader.bytesBeforeArchive)) return false;
    if (!SourceRead(*reader.source, destination, length)) return false;
    stream.nextDataPosition += length;
    stream.compressedLeft -= length;
    return true;
}

}  // namespace

int ReadEntryData(ArchiveReader* reader, void* buffer, uint32_t length, bool* reachedEnd)
{
    if (reachedEnd) *reachedEnd = false;
    if (!reader || !reader->openStream || !reader->source) return StatusBadArgument;
    if (length == 0) return 0;
    EntryStream& stream = *reader->openStream;

    // The count goes back as an int; the extractor asks for 16 KiB at a time.
    uint32_t room = std::min({length, stream.uncompressedLeft, static_cast<uint32_t>(0x7FFFFFFF)});
    if (room == 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    uint32_t delivered = 0;

    while (room > 0) {
        unsigned char* const to = out + delivered;
        uint32_t produced = 0;
        int result = Z_OK;
        if (stream.method == 0 && !stream.encrypted && stream.pendingCount == 0 && stream.compressedLeft != 0 &&
            NextBlockSize(stream) <= room) {
            // Plain stored data that the caller takes whole goes straight into the caller's
            // buffer, by the same reads as through the read buffer.
            produced = NextBlockSize(stream);
            if (!ReadDataBlock(*reader, stream, to, produced)) return StatusIoError;
        } else {
            if (stream.pendingCount == 0 && stream.compressedLeft != 0) {
                const uint32_t n = NextBlockSize(stream);
                if (!ReadDataBlock(*reader, stream, stream.readBuffer.get(), n)) return StatusIoError;
                if (stream.encrypted) Decrypt(stream.keys, stream.readBuffer.get(), n);
                stream.pendingOffset = 0;
                stream.pendingCount = n;
            }

            const uint32_t skip = std::min(stream.headerLeft, stream.pendingCount);
            if (skip > 0) {
                const unsigned char last = stream.readBuffer[stream.pendingOffset + skip - 1];
                stream.pendingOffset += skip;
                stream.pendingCount -= skip;
                stream.headerLeft -= skip;
                if (stream.headerLeft == 0 && last != stream.checkByte) return StatusWrongPassword;
            }

            if (stream.method == 0) {
                // A stored entry whose compressed size is smaller than its uncompressed size runs
                // dry here; without this it would wait for bytes that never come.
                if (stream.pendingCount == 0 && stream.compressedLeft == 0) return StatusBadArchive;
                produced = std::min(room, stream.pendingCount);
                std::memcpy(to, stream.readBuffer.get() + stream.pendingOffset, produced);
                stream.pendingOffset += produced;
                stream.pendingCount -= produced;
            } else {
                if (!stream.inflateReady) return Z_STREAM_ERROR;
                z_stream& z = stream.zstream;
                z.next_in = stream.readBuffer.get() + stream.pendingOffset;
                z.avail_in = stream.pendingCount;
                z.next_out = to;
                z.avail_out = room;
                const uLong before = z.total_out;
                // Never Z_FINISH: the end of the stream is not demanded, the sizes decide.
                result = inflate(&z, Z_NO_FLUSH);
                produced = static_cast<uint32_t>(z.total_out - before);
                stream.pendingOffset = static_cast<uint32_t>(z.next_in - stream.readBuffer.get());
                stream.pendingCount = z.avail_in;
            }
        }

        // Whichever way they came, the bytes now in the caller's buffer are counted once, here.
        stream.runningCrc = static_cast<uint32_t>(crc32(stream.runningCrc, to, produced));
        stream.uncompressedLeft -= produced;
        room -= produced;
        delivered += produced;
        if (result == Z_STREAM_END || stream.uncompressedLeft == 0) {
            if (reachedEnd) *reachedEnd = true;
            break;
        }
        if (result != Z_OK) {
            // A raw stream never asks for a dictionary; a positive code must not pass for a count.
            return result < 0 ? result : Z_DATA_ERROR;
        }
    }
    return static_cast<int>(delivered);
}

ReaderStatus CloseEntryData(ArchiveReader* reader)
{
    if (!reader || !reader->openStream) return StatusBadArgument;
    const EntryStream& stream = *reader->openStream;
    // An entry not read to its end is not compared.
    const ReaderStatus status =
        stream.uncompressedLeft == 0 && stream.runningCrc != stream.expectedCrc ? StatusCrcMismatch : StatusOk;
    reader->openStream.reset();
    return status;
}

void CloseArchiveReader(std::unique_ptr<ArchiveReader>& reader)
{
    if (!reader) return;
    if (reader->openStream) (void)CloseEntryData(reader.get());
    CloseArchiveSource(reader->source);
    reader.reset();
}

}  // namespace update
