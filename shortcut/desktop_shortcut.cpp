#include "shortcut/desktop_shortcut.h"

namespace shortcut {

int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*,
                           const wchar_t*)
{
    return oldName ? -2 : -1;
}

}  // namespace shortcut
