// Installing a pending update: the update package left in the install folder's temp folder is
// staged next to the launcher and extracted over the install folder.
#pragma once

namespace update {

void StageUpdate();
void ApplyUpdateArchive();

}  // namespace update
