#pragma once
// The freedesktop trash: moving files and folders into it without the toolkit, and reading it
// back as the trash folder of the namespace lists it (its entries by their original names).

#include <string>
#include <vector>

#include "shell/shell_services.h"

namespace shell {

// Moves path into the trash of its volume: the home trash when it lies on the same device as
// the XDG data folder, else the volume's top-level trash (".Trash/<uid>" when the administrator
// made one, else ".Trash-<uid>"). The record goes into info/ first, created exclusively; the
// entry is then renamed into files/ without replacing anything. Nothing is ever copied, so a
// failure leaves the file where it was. Returns false on failure.
bool MoveToTrashOwn(const std::string& path);

// The files/ folders of the trashes there may be: the home trash, then the top-level trashes
// of the drives other than "/".
std::vector<std::string> TrashFilesFolders(const TShellPlaces& places);

// The original name of a trash entry (the last component of the Path key of its record);
// the entry's own name when the record is missing or unreadable.
std::string TrashOriginalName(const std::string& entryPath);

}  // namespace shell
