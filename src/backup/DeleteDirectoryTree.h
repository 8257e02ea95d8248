#pragma once

#include <QString>

// Deletes a directory with everything in it and tells whether it is gone.
//
// The whole tree is checked first and nothing is changed unless the check passes: a tree
// that holds a mount (another file system, or a bind mount of a folder or file), or a
// folder that cannot be listed, is refused as a whole. A path that leads through a
// symbolic link (a link among its folders, or ending in "." or "..") is refused; a path
// that is itself a link removes only the link. A symbolic link anywhere in the tree is
// removed as a link; what it points to is never touched, even when a folder is swapped for
// a link while the deletion runs (everything is reached through open directories, never
// by path again). Directories the user owns but cannot write are made writable just
// before they are emptied, so read-only copies of a backup can be deleted. On Windows the
// links are junctions and symbolic links (reparse points), a folder that is a reparse point
// of another kind is refused like a mount, and read-only attributes are cleared just before
// each name goes. On any other failure the deletion stops and what was deleted so far stays
// deleted.
bool DeleteDirectoryTree(const QString &path);
