#pragma once
// Moving an entry to the desktop's trash, the one the file manager shows and restores from (the
// freedesktop.org trash: a trash folder holding files/ with the entries and info/ with one
// NAME.trashinfo each, naming the original path and the deletion date).
//
// - The trash of an entry on the same mount as the user's home trash ($XDG_DATA_HOME/Trash, by
//   default ~/.local/share/Trash) is the home trash. An entry on another mount goes to that
//   mount's own trash: $topdir/.Trash/$uid when an administrator made $topdir/.Trash a real
//   folder with the sticky bit, else $topdir/.Trash-$uid. Folders of the trash that are missing
//   are made, for this user only.
// - The info file is claimed first, atomically (O_EXCL), under a name that clashes neither in
//   info/ nor in files/; then the entry is renamed into files/ under the same name, never over
//   anything there. Nothing is copied: an entry that cannot be renamed there stays where it was,
//   and its info file is removed again, so nothing is left half-done.
// - Names keep their bytes: the trashed entry keeps the name it had (with ".2", ".3"... added
//   when needed), and the info file's Path is percent-encoded, so a name that is not UTF-8 is
//   restored as it was.
// - The entry is reached as TEntryPath reaches it (no link followed below the catalogue's folder),
//   so it is the entry the catalogue names, whatever the length of its path.

#include <ctime>
#include <string>

#include "common/EntryPath.h"

namespace folvane {

struct TrashPlaces {
    std::string homeTrash; // empty when neither XDG_DATA_HOME nor HOME is set
    unsigned uid = 0;
};

// The home trash and the user, from the environment and the process.
TrashPlaces TrashPlacesOfEnvironment();

enum class TrashOutcome { Moved, Gone, Failed };

struct TrashResult {
    TrashOutcome outcome = TrashOutcome::Failed;
    std::string reason;  // for Gone and Failed: why, in words, to follow "could not be moved: "
    std::string trashed; // for Moved: where the entry is now (the trash's files/NAME)
    std::string info;    // for Moved: its info file
};

// What the catalogue says the entry is; an entry that is no longer of that kind is refused (it
// was replaced since the catalogue was made).
enum class ExpectedKind { Any, Folder, NotFolder };

// Moves the entry to its trash. `now` is the deletion date written (local time).
TrashResult MoveToTrash(const TEntryPath &entry, ExpectedKind expected, const TrashPlaces &places,
                        std::time_t now = std::time(nullptr));

} // namespace folvane
