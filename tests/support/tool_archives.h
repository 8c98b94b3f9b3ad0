// The archives that real tools made for the extractor's tests (tests/fixtures/make_zip_fixtures.py)
// and their manifest, read the same way on the model and under Wine.
#pragma once

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/archive_folder.h"
#include "winapi/winapi.h"

namespace ziptest {

// One line of the manifest: what an entry must become when extracted.
struct ToolEntry {
    std::string password;  // "-" for none
    int index = 0;
    std::string name;
    DWORD attributes = 0;
    int dos[6] = {};           // local year, month, day, hour, minute, second
    std::string unixTimes[3];  // modification, access, creation; "-" when absent
    std::string source;        // the tree path of the entry's bytes; "-" for a folder
};

inline std::wstring Wide(const std::string& utf8)
{
    wchar_t buffer[MAX_PATH] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, buffer, MAX_PATH);
    return buffer;
}

// The fixtures lie in the build tree: on the model a Linux path outside its drives, under Wine
// the same path on drive Z:.
inline std::string ReadFixture(const std::string& relative)
{
#ifdef _WIN32
    std::string bytes;
    std::wstring path = Wide(std::string(FW_ZIP_FIXTURES) + "/" + relative);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    ReadWholeFile(path, &bytes);
    return bytes;
#else
    std::ifstream in(std::string(FW_ZIP_FIXTURES) + "/" + relative, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
#endif
}

// The manifest's entries by archive, in the order of the lines.
inline std::map<std::string, std::vector<ToolEntry>> LoadToolArchives()
{
    std::map<std::string, std::vector<ToolEntry>> archives;
    std::stringstream in(ReadFixture("manifest.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        if (fields.size() != 10) continue;
        ToolEntry e;
        e.password = fields[1];
        e.index = std::stoi(fields[2]);
        e.name = fields[3];
        e.attributes = static_cast<DWORD>(std::stoul(fields[4], nullptr, 16));
        std::sscanf(fields[5].c_str(), "%d,%d,%d,%d,%d,%d", &e.dos[0], &e.dos[1], &e.dos[2], &e.dos[3], &e.dos[4], &e.dos[5]);
        for (int i = 0; i < 3; ++i) e.unixTimes[i] = fields[6 + i];
        e.source = fields[9];
        archives[fields[0]].push_back(e);
    }
    return archives;
}

}  // namespace ziptest
