// Writes the hand-built seed archives of the update_archive corpus into the folder given: one of
// each kind of record and field the reader and the extractor tell apart, small enough for the
// fuzzer to change quickly. The tool-made seeds come from tests/fuzz/make_corpus.sh.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/zip_builder.h"
#include "tests/support/zip_name_cases.h"

using ziptest::Archive;
using ziptest::DeflatedEntry;
using ziptest::Entry;
using ziptest::FileEntry;
using ziptest::FolderEntry;

namespace {

Archive Of(std::vector<Entry> entries)
{
    Archive a;
    a.entries = std::move(entries);
    return a;
}

bool Write(const std::string& folder, const std::string& name, const std::string& bytes)
{
    const std::string path = folder + "/" + name + ".zip";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::string text = "kivo update text, kivo update text, kivo update text.\n";
    std::vector<std::pair<std::string, Archive>> seeds;

    // An update as the main application leaves it: folders, files stored and deflated, times.
    {
        Archive a = Of({FolderEntry("bin/"), DeflatedEntry("bin/a.dll", text + text), FileEntry("readme.txt", text),
                        DeflatedEntry("kivo.exe", "MZ new kivo")});
        a.entries[2].localExtra = ziptest::ExtendedTimestamp(7, {1700000000, 1700000100, 1600000000});
        seeds.emplace_back("hand-update", a);
    }
    // Made on Unix: modes in the high half, a read-only file, a folder.
    {
        Archive a = Of({FolderEntry("share/"), DeflatedEntry("share/ro.txt", text), DeflatedEntry("share/rw.txt", text)});
        for (Entry& e : a.entries) e.versionMadeBy = 0x0314;
        a.entries[0].externalAttributes = 0x41ED0010;  // drwxr-xr-x
        a.entries[1].externalAttributes = 0x81240000;  // r--r--r--
        a.entries[2].externalAttributes = 0x81A40000;  // rw-r--r--
        seeds.emplace_back("hand-unix", a);
    }
    // Encrypted with the empty password (the launcher's), and with another one.
    {
        Archive a = Of({DeflatedEntry("plain-key.txt", text), FileEntry("other-key.txt", text)});
        a.entries[0].password = "";
        a.entries[1].password = "secret";
        seeds.emplace_back("hand-encrypted", a);
    }
    // Sizes and CRC in a data descriptor, the check byte from the DOS time.
    {
        Archive a = Of({DeflatedEntry("stream.txt", text)});
        a.entries[0].dataDescriptor = true;
        a.entries[0].password = "";
        seeds.emplace_back("hand-descriptor", a);
    }
    // A program stub before the archive and a comment after it.
    {
        Archive a = Of({DeflatedEntry("x.txt", text)});
        a.before = std::string(100, 'S');
        a.comment = "comment with PK";
        seeds.emplace_back("hand-stub-comment", a);
    }
    // Only an end record.
    seeds.emplace_back("hand-empty", Archive{});
    // Every name the guard cuts or refuses, one entry each.
    {
        Archive a;
        for (const ziptest::NameCase& c : ziptest::kNameCases) a.entries.push_back(FileEntry(c.stored, "n"));
        seeds.emplace_back("hand-names", a);
    }
    // Records that disagree: the local method, a short stored entry, a wrong CRC, a wrong count.
    {
        Archive a = Of({DeflatedEntry("method.txt", text), FileEntry("short.txt", text), DeflatedEntry("crc.txt", text),
                        FileEntry("ok.txt", "ok")});
        a.entries[0].localMethod = 0;
        a.entries[1].compressedSize = 10;
        a.entries[1].localCompressedSize = 10;
        a.entries[2].crc = 0x12345678;
        seeds.emplace_back("hand-mismatch", a);
    }
    {
        Archive a = Of({FileEntry("a.txt", "a"), FileEntry("b.txt", "b")});
        a.entriesTotal = 3;
        a.entriesHere = 3;
        seeds.emplace_back("hand-count", a);
    }
    // An extra field with a long block before the extended timestamp, and one announcing more
    // values than it holds.
    {
        Archive a = Of({FileEntry("extra.txt", text), FileEntry("cut.txt", text)});
        a.entries[0].localExtra = ziptest::ExtraBlock(0x7075, std::string(300, 'x')) + ziptest::ExtendedTimestamp(1, {1700000000});
        std::string cut = ziptest::ExtendedTimestamp(7, {1700000000});
        a.entries[1].localExtra = cut;
        a.entries[1].centralExtra = cut;
        seeds.emplace_back("hand-extra", a);
    }

    for (const auto& [name, archive] : seeds) {
        if (!Write(out, name, ziptest::Build(archive))) {
            std::fprintf(stderr, "cannot write %s/%s.zip\n", out.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
