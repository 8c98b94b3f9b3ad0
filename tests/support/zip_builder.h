// Hand-built zip archives for the cases no tool will make: bytes before the archive, mismatching
// local headers, disk numbers, chosen attributes and extra fields, deterministic encryption
// headers. Offsets in the records count from the archive start, not from the file start.
#pragma once

#include <zlib.h>

#include "winapi/winapi.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

inline void Put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

inline uint32_t Crc(const std::string& data)
{
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

inline std::string RawDeflate(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The DOS date and time as one value: the time in the low half, the date in the high half.
inline uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second)
{
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

// The traditional PKWARE cipher, for encrypting fixtures.
class PkwareCipher {
public:
    explicit PkwareCipher(const std::string& password)
    {
        for (unsigned char c : password) Update(c);
    }
    unsigned char Encrypt(unsigned char plain)
    {
        const uint32_t t = (k2_ | 2) & 0xFFFF;
        const auto stream = static_cast<unsigned char>((t * (t ^ 1)) >> 8);
        Update(plain);
        return static_cast<unsigned char>(plain ^ stream);
    }

private:
    static uint32_t Step(uint32_t crc, unsigned char b) { return get_crc_table()[(crc ^ b) & 0xFF] ^ (crc >> 8); }
    void Update(unsigned char c)
    {
        k0_ = Step(k0_, c);
        k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
        k2_ = Step(k2_, static_cast<unsigned char>(k1_ >> 24));
    }
    uint32_t k0_ = 0x12345678u, k1_ = 0x23456789u, k2_ = 0x34567890u;
};

struct Entry {
    std::string name;
    std::string data;  // the uncompressed bytes
    uint16_t method = 0;
    uint16_t flags = 0;
    uint16_t versionMadeBy = 0x0014;   // host 0 (FAT)
    uint32_t externalAttributes = 0x20;
    uint32_t dosDateTime = DosDateTime(2021, 3, 4, 10, 20, 30);
    std::string localExtra, centralExtra, comment;

    // Deviations of one record from the other, or from the data.
    std::optional<std::string> localName;
    std::optional<uint16_t> localMethod, localFlags;
    std::optional<uint32_t> crc, localCrc, compressedSize, uncompressedSize, localCompressedSize;
    std::optional<std::string> storedBytes;  // written as the entry's data instead of the real thing
    bool dataDescriptor = false;             // local CRC and sizes 0, a descriptor after the data

    // Encryption with a fixed header: its last byte is the check byte unless overridden.
    std::optional<std::string> password;
    std::optional<unsigned char> checkByte;
};

struct Archive {
    std::string before;  // bytes before the archive
    std::vector<Entry> entries;
    std::string comment;
    std::optional<uint16_t> commentLength;  // a length that differs from the comment's
    uint16_t thisDisk = 0, centralDisk = 0;
    std::optional<uint16_t> entriesHere, entriesTotal;
    std::optional<uint32_t> centralOffset, centralSize;
};

inline std::string Build(const Archive& archive)
{
    std::string body;
    std::string central;
    for (const Entry& e : archive.entries) {
        const uint32_t realCrc = Crc(e.data);
        std::string payload = e.storedBytes ? *e.storedBytes : (e.method == 8 ? RawDeflate(e.data) : e.data);
        uint16_t flags = e.flags;
        if (e.dataDescriptor) flags |= 0x8;
        if (e.password) {
            flags |= 0x1;
            PkwareCipher cipher(*e.password);
            std::string header = "\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB";
            const unsigned char check = e.checkByte ? *e.checkByte
                                        : (flags & 0x8) ? static_cast<unsigned char>((e.dosDateTime >> 8) & 0xFF)
                                                        : static_cast<unsigned char>((e.crc ? *e.crc : realCrc) >> 24);
            header += static_cast<char>(check);
            std::string encrypted;
            for (unsigned char c : header + payload) encrypted += static_cast<char>(cipher.Encrypt(c));
            payload = encrypted;
        }
        const uint32_t crc = e.crc ? *e.crc : realCrc;
        const uint32_t compressed = e.compressedSize ? *e.compressedSize : static_cast<uint32_t>(payload.size());
        const uint32_t uncompressed = e.uncompressedSize ? *e.uncompressedSize : static_cast<uint32_t>(e.data.size());
        const std::string& localName = e.localName ? *e.localName : e.name;
        const uint32_t offset = static_cast<uint32_t>(body.size());

        Put32(body, 0x04034b50);
        Put16(body, 20);
        Put16(body, e.localFlags ? *e.localFlags : flags);
        Put16(body, e.localMethod ? *e.localMethod : e.method);
        Put32(body, e.dosDateTime);
        Put32(body, e.dataDescriptor ? 0 : (e.localCrc ? *e.localCrc : crc));
        Put32(body, e.dataDescriptor ? 0 : (e.localCompressedSize ? *e.localCompressedSize : compressed));
        Put32(body, e.dataDescriptor ? 0 : uncompressed);
        Put16(body, static_cast<uint32_t>(localName.size()));
        Put16(body, static_cast<uint32_t>(e.localExtra.size()));
        body += localName;
        body += e.localExtra;
        body += payload;
        if (e.dataDescriptor) {
            Put32(body, 0x08074b50);
            Put32(body, crc);
            Put32(body, compressed);
            Put32(body, uncompressed);
        }

        Put32(central, 0x02014b50);
        Put16(central, e.versionMadeBy);
        Put16(central, 20);
        Put16(central, flags);
        Put16(central, e.method);
        Put32(central, e.dosDateTime);
        Put32(central, crc);
        Put32(central, compressed);
        Put32(central, uncompressed);
        Put16(central, static_cast<uint32_t>(e.name.size()));
        Put16(central, static_cast<uint32_t>(e.centralExtra.size()));
        Put16(central, static_cast<uint32_t>(e.comment.size()));
        Put16(central, 0);  // disk number start
        Put16(central, 0);  // internal attributes
        Put32(central, e.externalAttributes);
        Put32(central, offset);
        central += e.name;
        central += e.centralExtra;
        central += e.comment;
    }
    const auto count = static_cast<uint16_t>(archive.entries.size());
    std::string end;
    Put32(end, 0x06054b50);
    Put16(end, archive.thisDisk);
    Put16(end, archive.centralDisk);
    Put16(end, archive.entriesHere ? *archive.entriesHere : count);
    Put16(end, archive.entriesTotal ? *archive.entriesTotal : count);
    Put32(end, archive.centralSize ? *archive.centralSize : static_cast<uint32_t>(central.size()));
    Put32(end, archive.centralOffset ? *archive.centralOffset : static_cast<uint32_t>(body.size()));
    Put16(end, archive.commentLength ? *archive.commentLength : static_cast<uint32_t>(archive.comment.size()));
    return archive.before + body + central + end + archive.comment;
}

// An extended timestamp block (0x5455) with the given flags and values.
inline std::string ExtendedTimestamp(unsigned flags, const std::vector<int32_t>& values)
{
    std::string block;
    Put16(block, 0x5455);
    Put16(block, static_cast<uint32_t>(1 + 4 * values.size()));
    block += static_cast<char>(flags);
    for (int32_t v : values) Put32(block, static_cast<uint32_t>(v));
    return block;
}

inline std::string ExtraBlock(uint16_t id, const std::string& data)
{
    std::string block;
    Put16(block, id);
    Put16(block, static_cast<uint32_t>(data.size()));
    return block + data;
}

// A file entry (stored, or deflated) and a folder entry (MS-DOS directory attribute) for the
// tables.
inline Entry FileEntry(const std::string& name, const std::string& data = "x")
{
    Entry e;
    e.name = name;
    e.data = data;
    return e;
}

inline Entry DeflatedEntry(const std::string& name, const std::string& data)
{
    Entry e = FileEntry(name, data);
    e.method = 8;
    return e;
}

inline Entry FolderEntry(const std::string& name)
{
    Entry e;
    e.name = name;
    e.externalAttributes = 0x10;
    return e;
}

inline long long Ticks(const FILETIME& t)
{
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// Unix seconds as FILETIME ticks.
inline long long UnixTicks(long long seconds) { return (seconds + 11644473600LL) * 10000000LL; }

// A local date and time as UTC ticks under the given bias (UTC = local + bias).
inline long long LocalToUtcTicks(int year, int month, int day, int hour, int minute, int second, long biasMinutes)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME local = {};
    SystemTimeToFileTime(&st, &local);
    return Ticks(local) + biasMinutes * 60LL * 10000000LL;
}

}  // namespace ziptest
