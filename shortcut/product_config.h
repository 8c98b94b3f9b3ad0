// ProductConfig.xml: the current and the new name of the desktop shortcut, in Chinese and English.
#pragma once

#include <string>

namespace shortcut {

struct ShortcutNames {
    std::wstring shortcut_cn;
    std::wstring shortcut_en;
    std::wstring shortcut_new_cn;
    std::wstring shortcut_new_en;
};

// True when the file was read and has a root element; the names it holds are filled in.
bool ReadProductConfig(ShortcutNames& names, const wchar_t* configPath);

}  // namespace shortcut
