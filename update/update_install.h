// Installing a pending update on every launch: the update package that the main application left
// in the install folder's temp folder is staged next to the launcher and extracted over the
// install folder. Every failure is silent; the launch goes on.
#pragma once

namespace update {

// The launcher's own folder as narrow text in the ANSI code page, ending with its backslash.
bool GetModuleFolderAnsi(char (&folder)[1024]);

// Deletes the update's leftovers from the temp folder and copies temp\update.zip over update.zip
// in the install folder; the pending archive is deleted only once the copy is there.
void StageUpdate();

// Extracts update.zip of the current directory over it, entry by entry, and deletes it.
void ApplyUpdateArchive();

}  // namespace update
