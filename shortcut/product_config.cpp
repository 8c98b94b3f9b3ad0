// Reads the four shortcut names from ProductConfig.xml. Only the root element's own children are
// looked at; everything else in the file is passed over.
#include "shortcut/product_config.h"

#include <tinyxml2.h>

#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "launcher/text_conversion.h"
#include "winapi/scoped_handle.h"
#include "winapi/winapi.h"

namespace shortcut {

namespace {

struct CrtFileTraits {
    using Type = FILE*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type file) { return file != nullptr; }
    static void Close(Type file) { std::fclose(file); }
};
using ScopedCrtFile = winapi::ScopedHandle<CrtFileTraits>;

// Letter case of ASCII letters only: the element names are ASCII, and a locale must not decide.
bool EqualsIgnoringAsciiCase(const char* a, const char* b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a && *b; ++a, ++b)
        if (lower(*a) != lower(*b)) return false;
    return *a == *b;
}

// The narrow path is opened by the C runtime, which reads it in the ANSI code page, exactly as
// the library's own LoadFile(const char*) would; the library then reads from the open file.
bool LoadFromNarrowPath(tinyxml2::XMLDocument& document, const char* narrowPath)
{
    ScopedCrtFile file;
    if (fopen_s(file.Receive(), narrowPath, "rb") != 0 || !file) return false;
    return document.LoadFile(file.Get()) == tinyxml2::XML_SUCCESS;
}

// The value of the element's first child when that child is text (CDATA included). Newer releases
// of the library let GetText look past leading comments; the file's rule does not.
const char* FirstChildText(const tinyxml2::XMLElement& element)
{
    const tinyxml2::XMLNode* first = element.FirstChild();
    const tinyxml2::XMLText* text = first ? first->ToText() : nullptr;
    return text ? text->Value() : nullptr;
}

void AssignNamed(ShortcutNames& names, const char* elementName, const wchar_t* text)
{
    std::wstring* const fields[] = {&names.shortcut_cn, &names.shortcut_en, &names.shortcut_new_cn,
                                    &names.shortcut_new_en};
    const char* const elementNames[] = {"shortcut_cn", "shortcut_en", "shortcut_new_cn", "shortcut_new_en"};
    static_assert(std::size(fields) == std::size(elementNames));
    for (size_t i = 0; i < std::size(elementNames); ++i) {
        if (EqualsIgnoringAsciiCase(elementName, elementNames[i])) {
            *fields[i] = text;
            return;
        }
    }
}

bool ReadNames(ShortcutNames& names, const wchar_t* configPath)
{
    auto document = std::make_unique<tinyxml2::XMLDocument>();

    char narrowPath[260] = {};
    // Not consulted: an unconvertible path leaves the buffer empty and the load fails on it.
    (void)launcher::WideToGbkPath(configPath, narrowPath);
    if (!LoadFromNarrowPath(*document, narrowPath)) return false;

    const tinyxml2::XMLElement* root = document->FirstChildElement();
    if (!root) return false;

    // Filled on a copy so that running out of memory half-way cannot leave some names changed.
    ShortcutNames found = names;
    for (const tinyxml2::XMLElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement()) {
        // Every text is converted before its name is looked at; a text too long for the buffer
        // is refused by the conversion, so that element leaves the names alone.
        wchar_t text[MAX_PATH] = {};
        if (!launcher::Utf8ToWideText(FirstChildText(*child), text)) continue;
        AssignNamed(found, child->Name(), text);
    }
    names = std::move(found);
    return true;
}

}  // namespace

bool ReadProductConfig(ShortcutNames& names, const wchar_t* configPath)
{
    if (!configPath || GetFileAttributesW(configPath) == INVALID_FILE_ATTRIBUTES) return false;
    // The parser allocates as it reads; a file too big for memory is a file that cannot be read,
    // and the launch goes on without the shortcut work.
    try {
        return ReadNames(names, configPath);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace shortcut
