#include "update/zip_extractor.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>

namespace update {

namespace {

constexpr uint16_t kExtendedTimestampId = 0x5455;  // "UT"
constexpr long long kUnixEpochSeconds = 11644473600LL;  // from 1601-01-01 to 1970-01-01
constexpr long long kTicksPerSecond = 10000000LL;
constexpr int kTempNameAttempts = 16;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A path of its own: it starts with a separator or a drive.
bool IsAbsolute(const wchar_t* path) { return IsSeparator(path[0]) || (path[0] != 0 && path[1] == L':'); }

// ---- names --------------------------------------------------------------------------------------

// Cuts drives, leading separators and everything up to a climbing component off the front of
// the name, trying the rules again from the top after each cut. What it leaves can still climb
// (a/b/../../c becomes ../c); the check below refuses that.
const wchar_t* GuardName(const wchar_t* name)
{
    static const wchar_t* const kClimbs[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
    for (;;) {
        if (name[0] != 0 && name[1] == L':') {
            name += 2;
            continue;
        }
        if (IsSeparator(name[0])) {
            name += 1;
            continue;
        }
        const wchar_t* cut = nullptr;
        for (const wchar_t* climb : kClimbs) {
            if ((cut = std::wcsstr(name, climb)) != nullptr) {
                name = cut + 4;
                break;
            }
        }
        if (!cut) return name;
    }
}

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// CON, NUL, COM1, LPT², ... alone or with an extension; Windows opens the device instead.
bool NamesDevice(const wchar_t* component, size_t length)
{
    size_t base = 0;
    while (base < length && component[base] != L'.') ++base;
    while (base > 0 && component[base - 1] == L' ') --base;
    wchar_t upper[8] = {};
    if (base == 0 || base >= std::size(upper)) return false;
    for (size_t i = 0; i < base; ++i) upper[i] = UpperAscii(component[i]);

    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (std::wcscmp(upper, device) == 0) return true;
    if (base == 4 && (std::wcsncmp(upper, L"COM", 3) == 0 || std::wcsncmp(upper, L"LPT", 3) == 0)) {
        const wchar_t digit = upper[3];
        return (digit >= L'0' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' || digit == L'\x00B3';
    }
    return false;
}

// The entry names the archive may use: relative, inside the base folder, and taken by Windows
// exactly as written.
bool IsAcceptableName(const wchar_t* name)
{
    if (name[0] == 0) return false;
    for (const wchar_t* p = name; *p; ++p) {
        const wchar_t c = *p;
        if (c < 0x20 || c == 0x7F || std::wcschr(L"<>:\"|?*", c)) return false;
    }
    const wchar_t* component = name;
    for (;;) {
        size_t length = 0;
        while (component[length] != 0 && !IsSeparator(component[length])) ++length;
        const bool dot = length == 1 && component[0] == L'.';
        if (length > 0 && !dot) {
            if (length == 2 && component[0] == L'.' && component[1] == L'.') return false;
            // Windows drops trailing dots and blanks: the file would get another name.
            const wchar_t last = component[length - 1];
            if (last == L'.' || last == L' ') return false;
            if (NamesDevice(component, length)) return false;
        }
        if (component[length] == 0) return true;
        component += length + 1;
    }
}

// ---- attributes and times -----------------------------------------------------------------------

DWORD MapAttributes(const CentralEntryInfo& info)
{
    const uint32_t host = (info.versionMadeBy >> 8) & 0xFF;
    const uint32_t external = info.externalAttributes;
    bool readOnly, hidden = false, system = false, directory, archive = true;
    if (host == 0 || host == 7 || host == 11 || host == 14) {
        readOnly = external & 0x01;
        hidden = external & 0x02;
        system = external & 0x04;
        directory = external & 0x10;
        archive = external & 0x20;
    } else {
        // The high half holds a Unix mode: owner write permission and the directory type.
        readOnly = !(external & (1u << 23));
        directory = external & (1u << 30);
    }
    DWORD attributes = 0;
    if (directory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (archive) attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (hidden) attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (readOnly) attributes |= FILE_ATTRIBUTE_READONLY;
    if (system) attributes |= FILE_ATTRIBUTE_SYSTEM;
    return attributes;
}

FILETIME UnixTimeToFileTime(int32_t seconds)
{
    const auto ticks = static_cast<unsigned long long>((seconds + kUnixEpochSeconds) * kTicksPerSecond);
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return result;
}

uint32_t Little16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Little32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void FillTimes(uint32_t dosDateTime, const unsigned char* extra, uint32_t extraLength, EntryRecord& record)
{
    const FILETIME local = DosTimeToFileTime(static_cast<uint16_t>(dosDateTime >> 16),
                                             static_cast<uint16_t>(dosDateTime & 0xFFFF));
    FILETIME utc = {};
    // A DOS date that is no date (month 0, second 60 ...) says nothing about the file: it gets
    // the time of its extraction, as a file written without times would.
    if ((local.dwLowDateTime == 0 && local.dwHighDateTime == 0) || !LocalFileTimeToFileTime(&local, &utc))
        GetSystemTimeAsFileTime(&utc);
    record.lastWriteTime = record.lastAccessTime = record.creationTime = utc;

    if (extraLength <= 4) return;
    for (uint32_t position = 0; position + 4 < extraLength;) {
        const uint32_t id = Little16(extra + position);
        const uint32_t size = Little16(extra + position + 2);
        if (id == kExtendedTimestampId) {
            const unsigned flags = extra[position + 4];
            uint32_t value = position + 5;
            FILETIME* targets[] = {&record.lastWriteTime, &record.lastAccessTime, &record.creationTime};
            for (unsigned bit = 0; bit < std::size(targets); ++bit) {
                if (!(flags & (1u << bit))) continue;
                // Only values whose four bytes lie inside the extra field; an announced value
                // beyond it leaves the DOS time in place.
                if (value + 4 <= extraLength)
                    *targets[bit] = UnixTimeToFileTime(static_cast<int32_t>(Little32(extra + value)));
                value += 4;
            }
            return;  // the first such block ends the walk
        }
        position += 4 + size;
    }
}

bool CopyBounded(wchar_t (&buffer)[MAX_PATH], const wchar_t* a, const wchar_t* b = L"", const wchar_t* c = L"")
{
    if (std::wcslen(a) + std::wcslen(b) + std::wcslen(c) >= std::size(buffer)) return false;
    wsprintfW(buffer, L"%s%s%s", a, b, c);
    return true;
}

}  // namespace

FILETIME DosTimeToFileTime(uint16_t date, uint16_t time)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>((date >> 9) + 1980);
    st.wMonth = static_cast<WORD>((date >> 5) & 0x0F);
    st.wDay = static_cast<WORD>(date & 0x1F);
    st.wHour = static_cast<WORD>(time >> 11);
    st.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
    st.wSecond = static_cast<WORD>((time & 0x1F) * 2);
    FILETIME result = {};
    if (!SystemTimeToFileTime(&st, &result)) return FILETIME{};
    return result;
}

namespace {

// CreateFolderPath, telling made(context, path) of each folder it made.
void CreateFolders(const wchar_t* base, const wchar_t* folder, void (*made)(void*, const wchar_t*), void* context)
{
    if (base && GetFileAttributesW(base) == INVALID_FILE_ATTRIBUTES) (void)CreateDirectoryW(base, nullptr);
    if (!folder || folder[0] == 0) return;
    const wchar_t* prefix = base ? base : L"";
    const size_t prefixLength = std::wcslen(prefix);
    const size_t folderLength = std::wcslen(folder);
    wchar_t path[MAX_PATH] = {};
    // A path that does not fit is not made; the file in it then cannot be created.
    if (prefixLength + folderLength >= std::size(path)) return;
    std::wmemcpy(path, prefix, prefixLength);

    // The outermost folder first: every separator but a leading one ends a folder to make.
    for (size_t i = 1; i <= folderLength; ++i) {
        if (i < folderLength && !IsSeparator(folder[i])) continue;
        std::wmemcpy(path + prefixLength, folder, i);
        path[prefixLength + i] = 0;
        if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES && CreateDirectoryW(path, nullptr) && made)
            made(context, path);
    }
}

// The length of a path without its trailing separators.
size_t TrimmedLength(const wchar_t* path)
{
    size_t length = std::wcslen(path);
    while (length > 0 && IsSeparator(path[length - 1])) --length;
    return length;
}

}  // namespace

void CreateFolderPath(const wchar_t* base, const wchar_t* folder) { CreateFolders(base, folder, nullptr, nullptr); }

// ---- the extractor ------------------------------------------------------------------------------

ZipExtractor::ZipExtractor() = default;
ZipExtractor::~ZipExtractor() = default;

void ZipExtractor::SetPassword(const char* password)
{
    if (password)
        password_ = password;
    else
        password_.reset();
}

ZipResult ZipExtractor::Open()
{
    if (reader_) return ZipAlreadyOpen;
    std::memset(baseFolder_, 0, sizeof baseFolder_);
    // Without a current directory there is no base folder to extract under: nothing is opened,
    // rather than writing relative to wherever the process happens to stand.
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(std::size(baseFolder_)), baseFolder_);
    if (length == 0 || length >= std::size(baseFolder_)) {
        baseFolder_[0] = 0;
        return ZipFileUnavailable;
    }
    if (!IsSeparator(baseFolder_[length - 1])) {
        if (length + 1 >= std::size(baseFolder_)) {
            baseFolder_[0] = 0;
            return ZipFileUnavailable;
        }
        baseFolder_[length] = L'\\';
        baseFolder_[length + 1] = 0;
    }
    tempSerial_ = (GetTickCount() ^ (GetCurrentProcessId() << 12)) & 0xFFFFF;

    std::unique_ptr<ArchiveSource> source = OpenArchiveSource();
    if (!source) return ZipFileUnavailable;
    reader_ = OpenArchiveReader(std::move(source));
    if (!reader_) return ZipFileUnavailable;
    // A record cached from an archive opened before describes nothing in this one.
    cachedIndex_ = -1;
    folderWritten_ = false;
    for (MadeFolder& made : madeFolders_) made.path[0] = 0;
    return ZipOk;
}

bool ZipExtractor::ReachEntry(int32_t index)
{
    if (index < reader_->currentIndex) (void)RewindToFirstEntry(reader_.get());
    // StepToNextEntry does not move past an unreadable record: the walk ends there.
    while (reader_->currentIndex < index)
        if (!StepToNextEntry(reader_.get())) return false;
    return reader_->currentValid && reader_->currentIndex == index;
}

ZipResult ZipExtractor::QueryEntry(int32_t index, EntryRecord& record)
{
    if (!reader_) return ZipFileUnavailable;
    if (index < -1 || static_cast<int64_t>(index) >= static_cast<int64_t>(reader_->entryCount)) return ZipBadIndex;
    if (index == cachedIndex_ && index != -1) {
        record = cachedRecord_;
        return ZipOk;
    }
    if (index == -1) {
        record = EntryRecord{};
        record.index = static_cast<int32_t>(reader_->entryCount);
        return ZipOk;
    }

    if (!ReachEntry(index)) return ZipRecordUnreadable;
    char nameBytes[kZipNameSize] = {};
    CentralEntryInfo info;
    const ReaderStatus central = ReadCentralEntry(reader_.get(), &info, nullptr, nameBytes, std::size(nameBytes));
    // The reader and its current entry are there, so a bad argument can only be a name of 260
    // bytes or more: refused rather than cut to another name.
    if (central == StatusBadArgument) return ZipNameRefused;
    if (central != StatusOk) return ZipRecordUnreadable;

    // Names are UTF-8 whatever bit 11 says; 259 bytes never make more than 259 units.
    wchar_t converted[kZipNameSize] = {};
    if (MultiByteToWideChar(CP_UTF8, 0, nameBytes, -1, converted, static_cast<int>(std::size(converted))) == 0)
        return ZipNameRefused;
    const wchar_t* guarded = GuardName(converted);
    if (!IsAcceptableName(guarded)) return ZipNameRefused;

    LocalHeaderInfo local;
    if (CheckLocalHeader(reader_.get(), &local) != StatusOk) return ZipHeaderMismatch;

    std::unique_ptr<unsigned char[]> extra;
    if (local.extraLength > 0) {
        if (!SourceSeek(*reader_->source, local.extraOffset + reader_->bytesBeforeArchive)) return ZipExtraUnreadable;
        extra.reset(new (std::nothrow) unsigned char[local.extraLength]);
        if (!extra || !SourceRead(*reader_->source, extra.get(), local.extraLength)) return ZipExtraUnreadable;
    }

    EntryRecord filled;
    filled.index = reader_->currentIndex;
    std::wmemcpy(filled.name, guarded, std::wcslen(guarded) + 1);
    filled.attributes = MapAttributes(info);
    filled.compressedSize = info.compressedSize;
    filled.uncompressedSize = info.uncompressedSize;
    FillTimes(info.dosDateTime, extra.get(), local.extraLength, filled);

    record = filled;
    cachedRecord_ = filled;
    cachedIndex_ = index;
    return ZipOk;
}

ZipResult ZipExtractor::ExtractEntry(int32_t index, const wchar_t* target)
{
    if (!reader_) return ZipFileUnavailable;
    if (index < 0 || static_cast<int64_t>(index) >= static_cast<int64_t>(reader_->entryCount)) return ZipBadIndex;
    if (!ReachEntry(index)) return ZipRecordUnreadable;
    EntryRecord record;
    // An entry whose record cannot be had is not written.
    const ZipResult queried = QueryEntry(index, record);
    if (queried != ZipOk) return queried;
    if (!target || std::wcslen(target) >= kZipNameSize) return ZipNameRefused;

    if (record.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        MakeFolders(IsAbsolute(target) ? nullptr : baseFolder_, target);
        return ZipOk;
    }

    const wchar_t* lastSeparator = nullptr;
    for (const wchar_t* p = target; *p; ++p)
        if (IsSeparator(*p)) lastSeparator = p;
    wchar_t folderPart[MAX_PATH] = {};
    const wchar_t* filePart = target;
    if (lastSeparator) {
        const size_t folderLength = static_cast<size_t>(lastSeparator - target) + 1;
        std::wmemcpy(folderPart, target, folderLength);  // shorter than target, which fits
        filePart = lastSeparator + 1;
    }
    const bool ownPath = lastSeparator && IsAbsolute(folderPart);
    const wchar_t* prefix = ownPath ? L"" : baseFolder_;

    wchar_t folder[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    // Base folder, folder part and file part must make a path of at most 259 units.
    if (!CopyBounded(folder, prefix, folderPart) || !CopyBounded(path, prefix, folderPart, filePart)) return ZipNameRefused;
    // An update holds folders of many files: their folders are looked for once, not for each.
    const bool folderKnown = folderWritten_ && std::wcscmp(writtenFolder_, folderPart) == 0;
    if (!folderKnown) MakeFolders(ownPath ? nullptr : baseFolder_, folderPart);
    if (filePart[0] == 0) return ZipFileUnavailable;  // a path that names a folder
    folderWritten_ = false;
    bool noFolder = false;
    ZipResult result = WriteEntryFile(record, folder, path, &noFolder);
    if (noFolder && folderKnown) {
        // Gone since the last entry: made again, as for any entry.
        MakeFolders(ownPath ? nullptr : baseFolder_, folderPart);
        result = WriteEntryFile(record, folder, path, &noFolder);
    }
    if (result == ZipOk) {
        // A folder part always fits, being shorter than the target.
        std::wmemcpy(writtenFolder_, folderPart, std::wcslen(folderPart) + 1);
        folderWritten_ = true;
    }
    return result;
}

// Writes the entry beside its target and moves it into place only when it is complete, so that a
// failed or corrupt entry never leaves a cut-short or wrong file where the old one was.
ZipResult ZipExtractor::WriteEntryFile(const EntryRecord& record, const wchar_t* folder, const wchar_t* path,
                                       bool* noFolder)
{
    *noFolder = false;
    // A read-only file or a folder in the target's place is not replaced. The move would refuse
    // it too, but only after the whole entry was written, and not everywhere: a process with
    // root's rights under Wine may replace a read-only file.
    MadeFolder* made = FindMadeFolder(folder);
    if (!made || made->mustLook) {
        const DWORD existing = GetFileAttributesW(path);
        if (existing != INVALID_FILE_ATTRIBUTES && (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
            return ZipFileUnavailable;
    }

    wchar_t temp[MAX_PATH] = {};
    winapi::ScopedFile file;
    for (int attempt = 0; attempt < kTempNameAttempts && !file; ++attempt) {
        wchar_t leaf[16] = {};
        wsprintfW(leaf, L"~fw%05x.tmp", static_cast<unsigned>(tempSerial_++ & 0xFFFFF));
        if (!CopyBounded(temp, folder, leaf)) return ZipNameRefused;
        file.Reset(CreateFileW(temp,
                               GENERIC_WRITE,
                               0,        // no sharing while it is written
                               nullptr,  // no security attributes
                               CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL,
                               nullptr));  // no template
        if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            *noFolder = GetLastError() == ERROR_PATH_NOT_FOUND;
            return ZipFileUnavailable;
        }
    }
    if (!file) return ZipFileUnavailable;

    ZipResult result = ZipOk;
    if (!outputBuffer_) outputBuffer_.reset(new (std::nothrow) unsigned char[kEntryBufferSize]);
    const bool opened = OpenEntryData(reader_.get(), password_ ? password_->c_str() : nullptr) == StatusOk;
    if (!outputBuffer_ || !opened) result = ZipDataFailed;

    uint64_t delivered = 0;
    // An empty entry has nothing to read: the reader would report 0 bytes without its end.
    while (result == ZipOk && delivered < record.uncompressedSize) {
        bool reachedEnd = false;
        const int n = ReadEntryData(reader_.get(), outputBuffer_.get(), kEntryBufferSize, &reachedEnd);
        if (n == StatusWrongPassword) {
            result = ZipWrongPassword;
        } else if (n < 0) {
            result = ZipDataFailed;
        } else if (n > 0) {
            DWORD written = 0;
            if (!WriteFile(file.Get(), outputBuffer_.get(), static_cast<DWORD>(n), &written, nullptr) ||
                written != static_cast<DWORD>(n))
                result = ZipWriteFailed;
            delivered += static_cast<uint64_t>(n);
        }
        if (result == ZipOk && !reachedEnd && n == 0) result = ZipDataFailed;
        if (reachedEnd) break;
    }
    const ReaderStatus closed = opened ? CloseEntryData(reader_.get()) : StatusBadArgument;
    // Complete: every byte the central record announces, and the CRC-32 matches. An early end of
    // the deflate stream reaches the end without being complete.
    if (result == ZipOk && (delivered != record.uncompressedSize || closed != StatusOk)) result = ZipDataFailed;

    if (result == ZipOk) {
        // The times go on before the file is closed; the result is not examined, as a file
        // without its times is still the right file.
        (void)SetFileTime(file.Get(), &record.creationTime, &record.lastAccessTime, &record.lastWriteTime);
    }
    file.Reset();

    if (result == ZipOk) {
        // Windows marks every newly written file for archiving, as creating the file in place
        // would have; the file has that mark from its creation, so only the others need a call.
        const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (record.attributes & settable)
            (void)SetFileAttributesW(temp, (record.attributes & settable) | FILE_ATTRIBUTE_ARCHIVE);
        // The move replaces a hidden or system file but not a read-only one, nor one in use.
        if (!MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING)) result = ZipFileUnavailable;
        if (result == ZipOk && made && (record.attributes & FILE_ATTRIBUTE_READONLY)) made->mustLook = true;
    }
    if (result != ZipOk) {
        (void)SetFileAttributesW(temp, FILE_ATTRIBUTE_NORMAL);
        (void)DeleteFileW(temp);
    }
    return result;
}

void ZipExtractor::MakeFolders(const wchar_t* base, const wchar_t* folder)
{
    CreateFolders(
        base, folder, [](void* self, const wchar_t* path) { static_cast<ZipExtractor*>(self)->NoteFolderMade(path); },
        this);
}

void ZipExtractor::NoteFolderMade(const wchar_t* path)
{
    const size_t length = TrimmedLength(path);
    if (length == 0 || length >= MAX_PATH) return;
    // A folder made inside a made folder: a target there may now be a folder.
    const wchar_t* lastSeparator = nullptr;
    for (const wchar_t* p = path; p < path + length; ++p)
        if (IsSeparator(*p)) lastSeparator = p;
    if (lastSeparator) {
        wchar_t parent[MAX_PATH] = {};
        std::wmemcpy(parent, path, static_cast<size_t>(lastSeparator - path));  // shorter than path
        if (MadeFolder* outer = FindMadeFolder(parent)) outer->mustLook = true;
    }
    MadeFolder& made = madeFolders_[nextMadeFolder_];
    nextMadeFolder_ = (nextMadeFolder_ + 1) % kMadeFoldersKept;
    std::wmemcpy(made.path, path, length);  // length < MAX_PATH
    made.path[length] = 0;
    made.mustLook = false;
}

ZipExtractor::MadeFolder* ZipExtractor::FindMadeFolder(const wchar_t* path)
{
    const size_t length = TrimmedLength(path);
    for (MadeFolder& made : madeFolders_)
        if (made.path[0] != 0 && std::wcslen(made.path) == length && std::wcsncmp(made.path, path, length) == 0) return &made;
    return nullptr;
}

ZipResult ZipExtractor::Close()
{
    CloseArchiveReader(reader_);
    return ZipOk;
}

std::optional<ZipHandle> OpenZipHandle()
{
    std::unique_ptr<ZipExtractor> extractor(new (std::nothrow) ZipExtractor);
    if (!extractor || extractor->Open() != ZipOk) return std::nullopt;
    ZipHandle handle;
    handle.kind = 1;
    handle.extractor = std::move(extractor);
    return handle;
}

}  // namespace update
