// Entry names the extractor takes, cuts or refuses: what the guard leaves of a name, and the
// names that must never reach the file system (climbing out, streams, devices, characters Windows
// forbids or would change).
#pragma once

namespace ziptest {

struct NameCase {
    const char* stored;
    const wchar_t* name;  // null: refused
};

const NameCase kNameCases[] = {
    // What the guard cuts off the front.
    {"C:\\Apps\\a.dll", L"Apps\\a.dll"},
    {"/etc/x.cfg", L"etc/x.cfg"},
    {"a/../b/c.txt", L"b/c.txt"},
    {"x:y:z.txt", L"z.txt"},
    {"res/img.png", L"res/img.png"},
    {"\\\\server\\share\\f.txt", L"server\\share\\f.txt"},
    {"a\\..\\b.txt", L"b.txt"},
    {"./dot/./ok.txt", L"./dot/./ok.txt"},
    {"\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8Fwide.txt", L"\xFF0E\xFF0E\xFF0Fwide.txt"},  // full-width: ordinary letters
    {"CONSOLE.txt", L"CONSOLE.txt"},
    {"COM10", L"COM10"},
    {"LPT", L"LPT"},
    {"NULL.h", L"NULL.h"},
    {"xcon", L"xcon"},
    {"COM1x.txt", L"COM1x.txt"},
    // Climbing out of the base folder, in every spelling.
    {"../c", nullptr},
    {"..\\c", nullptr},
    {"a/b/../../c", nullptr},
    {"a\\b\\..\\..\\c", nullptr},
    {"a/b/..\\..\\c", L"c"},
    {"a\\b/../..\\c", nullptr},
    {"..", nullptr},
    {"a/..", nullptr},
    {"a/../..", nullptr},
    {"/../../etc/passwd", L"etc/passwd"},
    {"C:..\\x", nullptr},
    // Streams, control characters, forbidden characters.
    {"file.txt:stream", nullptr},
    {"dir/f:ads", nullptr},
    {"a\x01" "b", nullptr},
    {"tab\there", nullptr},
    {"del\x7f", nullptr},
    {"a<b", nullptr},
    {"a>b", nullptr},
    {"a\"b", nullptr},
    {"a|b", nullptr},
    {"a?b", nullptr},
    {"a*b", nullptr},
    // Components Windows would change.
    {"name.", nullptr},
    {"name ", nullptr},
    {"dir./f.txt", nullptr},
    {"dir /f.txt", nullptr},
    {"...", nullptr},
    // Devices, alone, with an extension, as a folder, in any letter case.
    {"CON", nullptr},
    {"con.txt", nullptr},
    {"PRN", nullptr},
    {"AUX.h", nullptr},
    {"NUL", nullptr},
    {"nul.tar.gz", nullptr},
    {"CONIN$", nullptr},
    {"conout$.log", nullptr},
    {"COM1", nullptr},
    {"com9.txt", nullptr},
    {"COM0", nullptr},
    {"LPT1", nullptr},
    {"lpt9", nullptr},
    {"COM\xC2\xB9", nullptr},
    {"com\xC2\xB2.txt", nullptr},
    {"LPT\xC2\xB3.txt", nullptr},
    {"dir/NUL/f.txt", nullptr},
    {"NUL .txt", nullptr},
    // Nothing left.
    {"", nullptr},
    {"/", nullptr},
    {"C:", nullptr},
};

}  // namespace ziptest
