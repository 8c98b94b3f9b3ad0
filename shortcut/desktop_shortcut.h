// Keeps the main application's shortcut on the all-users desktop pointing at the launcher and
// renames it when the configuration gives a new name.
#pragma once

namespace shortcut {

// -1 no old name, -2 no desktop folder (or no path for it), -3 neither link exists or a link path
// would not fit MAX_PATH (nothing touched), 0 the link could not be opened, 1 the link was changed
// and its save attempted. COM is initialised only for results 0 and 1.
int RefreshDesktopShortcut(const wchar_t* oldName, const wchar_t* newName, const wchar_t* targetPath,
                           const wchar_t* description, const wchar_t* iconPath, const wchar_t* workingDir);

}  // namespace shortcut
