#include "shortcut/product_config.h"

namespace shortcut {

bool ReadProductConfig(ShortcutNames&, const wchar_t*) { return false; }

}  // namespace shortcut
