// Linux model only: code page conversions (UTF-8, 936, 1252 and the ANSI code page), the Windows
// flavour of wide formatting, the secure string copies, the C runtime locale and the clock.
#include <iconv.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "world.h"

using namespace winmodel;

namespace {

UINT ActualCodePage(UINT codePage)
{
    if (codePage == CP_ACP || codePage == CP_OEMCP) return World().ansiCodePage;
    return codePage;
}

const char* IconvName(UINT codePage)
{
    switch (codePage) {
    case 936: return "CP936";
    case 1252: return "CP1252";
    default: return nullptr;
    }
}

// Decodes UTF-8 as Windows does without flags: every invalid sequence becomes U+FFFD.
std::wstring DecodeUtf8(const unsigned char* s, size_t n, bool* invalid)
{
    std::wstring out;
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        std::uint32_t cp;
        size_t len;
        if (c < 0x80) { cp = c; len = 1; }
        else if (c >= 0xC2 && c <= 0xDF) { cp = c & 0x1F; len = 2; }
        else if (c >= 0xE0 && c <= 0xEF) { cp = c & 0x0F; len = 3; }
        else if (c >= 0xF0 && c <= 0xF4) { cp = c & 0x07; len = 4; }
        else { out += L'\xFFFD'; *invalid = true; ++i; continue; }
        size_t k = 1;
        for (; k < len && i + k < n; ++k) {
            unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80) break;
            if (k == 1 && ((c == 0xE0 && cc < 0xA0) || (c == 0xED && cc > 0x9F) || (c == 0xF0 && cc < 0x90) ||
                           (c == 0xF4 && cc > 0x8F)))
                break;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (k < len) {
            out += L'\xFFFD';
            *invalid = true;
            i += k;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

bool IconvOne(iconv_t cd, const char* in, size_t inLen, std::string* out)
{
    char buffer[16];
    char* inPtr = const_cast<char*>(in);
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLen, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
    out->append(buffer, sizeof buffer - outLeft);
    return true;
}

// Converts wide text to a single- or double-byte code page, one character at a time; characters
// the code page lacks become the default character.
bool EncodeCodePage(UINT codePage, const std::wstring& text, const char* defaultChar, std::string* out, bool* usedDefault)
{
    if (codePage == CP_UTF8) {
        *out = ToUtf8(text);
        return true;
    }
    const char* name = IconvName(codePage);
    if (!name) return false;
    iconv_t cd = iconv_open(name, "WCHAR_T");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    for (wchar_t c : text) {
        if (!IconvOne(cd, reinterpret_cast<const char*>(&c), sizeof c, out)) {
            *out += defaultChar ? defaultChar : "?";
            *usedDefault = true;
        }
    }
    iconv_close(cd);
    return true;
}

bool DecodeCodePage(UINT codePage, const unsigned char* s, size_t n, std::wstring* out, bool* invalid)
{
    if (codePage == CP_UTF8) {
        *out = DecodeUtf8(s, n, invalid);
        return true;
    }
    const char* name = IconvName(codePage);
    if (!name) return false;
    iconv_t cd = iconv_open("WCHAR_T", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    size_t i = 0;
    while (i < n) {
        size_t len = (codePage == 936 && s[i] >= 0x81 && s[i] <= 0xFE && i + 1 < n) ? 2 : 1;
        std::string wide;
        if (!IconvOne(cd, reinterpret_cast<const char*>(s + i), len, &wide) || wide.size() < sizeof(wchar_t)) {
            *out += (codePage == 936 ? L'\x30FB' : L'?');
            *invalid = true;
        } else {
            wchar_t c;
            std::memcpy(&c, wide.data(), sizeof c);
            *out += c;
        }
        i += len;
    }
    iconv_close(cd);
    return true;
}

}  // namespace

namespace winmodel {

std::wstring DecodeText(UINT codePage, const std::string& bytes)
{
    std::wstring wide;
    bool invalid = false;
    DecodeCodePage(ActualCodePage(codePage), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &wide, &invalid);
    return wide;
}

std::string EncodeText(UINT codePage, const std::wstring& text)
{
    std::string narrow;
    bool replaced = false;
    EncodeCodePage(ActualCodePage(codePage), text, nullptr, &narrow, &replaced);
    return narrow;
}

}  // namespace winmodel

UINT GetACP() { return World().ansiCodePage; }

int CompareStringOrdinal(LPCWSTR string1, int count1, LPCWSTR string2, int count2, BOOL ignoreCase)
{
    MODEL_CALL("CompareStringOrdinal", 0);
    if (!string1 || !string2 || count1 < -1 || count2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::wstring a(string1, count1 == -1 ? std::wcslen(string1) : static_cast<size_t>(count1));
    std::wstring b(string2, count2 == -1 ? std::wcslen(string2) : static_cast<size_t>(count2));
    if (ignoreCase) {
        a = UpperCase(a);
        b = UpperCase(b);
    }
    int order = a.compare(b);
    return order < 0 ? CSTR_LESS_THAN : order == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out, int outSize)
{
    MODEL_CALL("MultiByteToWideChar", 0);
    if (!text || length == 0 || outSize < 0 || (outSize > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    std::wstring wide;
    bool invalid = false;
    if (!DecodeCodePage(ActualCodePage(codePage), reinterpret_cast<const unsigned char*>(text), n, &wide, &invalid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (outSize == 0) return static_cast<int>(wide.size());
    if (wide.size() > static_cast<size_t>(outSize)) {
        std::copy(wide.begin(), wide.begin() + outSize, out);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(wide.begin(), wide.end(), out);
    return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR text, int length, LPSTR out, int outSize, LPCSTR defaultChar,
                        LPBOOL usedDefault)
{
    MODEL_CALL("WideCharToMultiByte", 0);
    if (!text || length == 0 || outSize < 0 || (outSize > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT actual = ActualCodePage(codePage);
    if (actual == CP_UTF8 && (defaultChar || usedDefault)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = length < 0 ? std::wcslen(text) + 1 : static_cast<size_t>(length);
    std::string narrow;
    bool replaced = false;
    if (!EncodeCodePage(actual, std::wstring(text, n), defaultChar, &narrow, &replaced)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefault) *usedDefault = replaced ? TRUE : FALSE;
    if (outSize == 0) return static_cast<int>(narrow.size());
    if (narrow.size() > static_cast<size_t>(outSize)) {
        std::memcpy(out, narrow.data(), static_cast<size_t>(outSize));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, narrow.data(), narrow.size());
    return static_cast<int>(narrow.size());
}

namespace {

// Rewrites a Windows wide format for the C library: %s and %c take wide arguments there, %S and
// %hs narrow ones, and an l on an integer conversion means 32 bits.
std::wstring PortableFormat(const wchar_t* format)
{
    std::wstring out;
    for (const wchar_t* p = format; *p; ++p) {
        out += *p;
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') {
            out += *p;
            continue;
        }
        while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out += *p++;
        bool narrow = false;
        if (*p == L'h') {
            narrow = true;
            ++p;
        } else if (*p == L'l') {
            ++p;
            if (*p == L'l') {
                out += L"ll";
                ++p;
            } else if (*p == L's' || *p == L'c') {
                out += L'l';
            }
        } else if (*p == L'w') {
            ++p;
        }
        if (!*p) break;
        switch (*p) {
        case L's': out += narrow ? L"s" : L"ls"; break;
        case L'c': out += narrow ? L"c" : L"lc"; break;
        case L'S': out += L"s"; break;
        case L'C': out += L"c"; break;
        default: out += *p;
        }
    }
    return out;
}

int FormatInto(wchar_t* buffer, size_t count, const wchar_t* format, va_list args)
{
    std::wstring portable = PortableFormat(format);
    return std::vswprintf(buffer, count, portable.c_str(), args);
}

[[noreturn]] void InvalidParameter(const char* what)
{
    // The Microsoft runtime's default handler ends the process; so does the model.
    std::fprintf(stderr, "winmodel: invalid parameter in %s (the Windows runtime would end the process)\n", what);
    std::abort();
}

}  // namespace

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...)
{
    MODEL_CALL("wsprintfW", 0);
    // wsprintf writes at most 1024 characters with the terminator.
    wchar_t scratch[1025];
    va_list args;
    va_start(args, format);
    int n = FormatInto(scratch, 1024, format, args);
    va_end(args);
    if (n < 0) n = 1023;
    scratch[n] = 0;
    std::wmemcpy(buffer, scratch, static_cast<size_t>(n) + 1);
    return n;
}

int swprintf_s(wchar_t* buffer, size_t count, const wchar_t* format, ...)
{
    MODEL_CALL("swprintf_s", -1);
    if (!buffer || count == 0 || !format) InvalidParameter("swprintf_s");
    va_list args;
    va_start(args, format);
    int n = FormatInto(buffer, count, format, args);
    va_end(args);
    if (n < 0) InvalidParameter("swprintf_s: buffer too small");
    return n;
}

errno_t wcscpy_s(wchar_t* dest, size_t count, const wchar_t* source)
{
    if (!dest || count == 0 || !source) InvalidParameter("wcscpy_s");
    size_t n = std::wcslen(source);
    if (n >= count) InvalidParameter("wcscpy_s: buffer too small");
    std::wmemcpy(dest, source, n + 1);
    return 0;
}

namespace winmodel {

// The Microsoft runtime's locales: "C" converts only characters below 256, "chs" is code page 936.
char* CrtSetLocale(int, const char* locale)
{
    static char name[128];
    std::string& current = World().crtLocale;
    if (locale) {
        std::string wanted = locale;
        auto endsWith = [&](const char* tail) {
            size_t n = std::strlen(tail);
            return wanted.size() >= n && wanted.compare(wanted.size() - n, n, tail) == 0;
        };
        if (wanted == "C")
            current = "C";
        else if (wanted == "chs" || wanted == "Chinese" || endsWith(".936"))
            current = "Chinese (Simplified)_China.936";
        else if (wanted.empty() || endsWith(".1252"))
            current = "English_United States.1252";
        else
            return nullptr;
    }
    std::snprintf(name, sizeof name, "%s", current.c_str());
    return name;
}

}  // namespace winmodel

errno_t wcstombs_s(size_t* converted, char* dest, size_t destSize, const wchar_t* source, size_t count)
{
    if (converted) *converted = 0;
    if (!source || (dest && destSize == 0)) return EINVAL;
    const std::string& locale = World().crtLocale;
    UINT codePage = locale == "C" ? 0 : (locale.size() > 4 && locale.compare(locale.size() - 4, 4, ".936") == 0 ? 936 : 1252);
    std::string narrow;
    for (const wchar_t* p = source; *p; ++p) {
        std::string one;
        bool replaced = false;
        if (codePage == 0) {
            if (static_cast<std::uint32_t>(*p) > 255) replaced = true;
            one = std::string(1, static_cast<char>(*p));
        } else {
            EncodeCodePage(codePage, std::wstring(1, *p), nullptr, &one, &replaced);
        }
        if (replaced) {
            if (dest) dest[0] = 0;
            errno = EILSEQ;
            return EILSEQ;
        }
        if (narrow.size() + one.size() > count) break;
        narrow += one;
    }
    if (!dest) {
        if (converted) *converted = narrow.size() + 1;
        return 0;
    }
    if (narrow.size() + 1 > destSize) {
        dest[0] = 0;
        InvalidParameter("wcstombs_s: buffer too small");
    }
    std::memcpy(dest, narrow.data(), narrow.size());
    dest[narrow.size()] = 0;
    if (converted) *converted = narrow.size() + 1;
    return 0;
}

errno_t gmtime_s(struct tm* result, const time_t* time)
{
    if (!result || !time) return EINVAL;
    return gmtime_r(time, result) ? 0 : EINVAL;
}

namespace {

std::wstring WidenAnsi(const char* text) { return DecodeText(CP_ACP, text); }

}  // namespace

errno_t fopen_s(FILE** file, const char* name, const char* mode)
{
    if (!file) return EINVAL;
    *file = nullptr;
    if (EnterCall("fopen_s")) return EACCES;
    if (!name || !mode) return EINVAL;
    ResolvedPath r = Resolve(WidenAnsi(name));
    if (!r.ok || r.isPipe) return ENOENT;
    if (std::strchr(mode, 'w') || std::strchr(mode, 'a')) {
        DWORD attributes = Attributes(r.full);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return EACCES;
    }
    *file = std::fopen(r.host.c_str(), mode);
    const int error = *file ? 0 : errno;
    // A file opened for writing may be new.
    if (std::strpbrk(mode, "wa+")) ForgetFolder(r.host.substr(0, r.host.find_last_of('/')));
    return error;
}

int _access(const char* name, int)
{
    if (EnterCall("_access")) {
        errno = EACCES;
        return -1;
    }
    if (!name) return -1;
    if (Exists(WidenAnsi(name))) return 0;
    errno = ENOENT;
    return -1;
}

int _unlink(const char* name)
{
    if (EnterCall("_unlink")) {
        errno = EACCES;
        return -1;
    }
    if (!name) return -1;
    std::wstring wide = WidenAnsi(name);
    // DeleteFileW would count as a second platform call; the runtime's unlink is one call.
    ResolvedPath r = Resolve(wide);
    const DWORD attributes = r.ok && !r.isPipe ? Attributes(r.full) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        errno = ENOENT;
        return -1;
    }
    if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ||
        OpenedWithoutShare(r.key, FILE_SHARE_DELETE)) {
        errno = EACCES;
        return -1;
    }
    if (::unlink(r.host.c_str()) != 0) return -1;
    NoteRemoved(r.host);
    ForgetMeta(r.host);
    return 0;
}

// ---- Time ---------------------------------------------------------------------------------------

namespace {

constexpr long long kTicksPerSecond = 10000000LL;
constexpr long long kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970

long long ToTicks(const FILETIME& t) { return static_cast<long long>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime); }

FILETIME FromTicks(long long ticks)
{
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(ticks) & 0xFFFFFFFF);
    t.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(ticks) >> 32);
    return t;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1601-01-01 to the given date.
long long DaysFrom1601(int year, int month, int day)
{
    static const int before[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    long long y = year - 1601;
    long long days = y * 365 + y / 4 - y / 100 + y / 400;
    days += before[month - 1] + (month > 2 && IsLeap(year) ? 1 : 0);
    return days + day - 1;
}

long long g_sleptMilliseconds = 0;

}  // namespace

namespace winmodel {
void AdvanceClock(DWORD milliseconds) { g_sleptMilliseconds += milliseconds; }
long long ModelClock() { return g_sleptMilliseconds; }
}  // namespace winmodel

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft)
{
    MODEL_CALL("SystemTimeToFileTime", FALSE);
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!st || !ft || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
        st->wDay > monthDays[st->wMonth - 1] + (st->wMonth == 2 && IsLeap(st->wYear) ? 1 : 0) || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    long long seconds = DaysFrom1601(st->wYear, st->wMonth, st->wDay) * 86400LL + st->wHour * 3600LL + st->wMinute * 60LL + st->wSecond;
    *ft = FromTicks(seconds * kTicksPerSecond + st->wMilliseconds * 10000LL);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc)
{
    MODEL_CALL("LocalFileTimeToFileTime", FALSE);
    *utc = FromTicks(ToTicks(*local) + World().biasMinutes * 60LL * kTicksPerSecond);
    return TRUE;
}

void GetSystemTimeAsFileTime(LPFILETIME ft)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    *ft = FromTicks((static_cast<long long>(now.tv_sec) + kEpochDifference) * kTicksPerSecond + now.tv_nsec / 100);
}

// The model's clock moves with Sleep instead of waiting, so that bounded waits cost no time in tests.
DWORD GetTickCount()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ms = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 + g_sleptMilliseconds;
    return static_cast<DWORD>(ms & 0xFFFFFFFF);
}

void Sleep(DWORD milliseconds)
{
    EnterCall("Sleep");
    g_sleptMilliseconds += milliseconds;
}
