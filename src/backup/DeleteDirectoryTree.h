#pragma once

#include <QString>

// Deletes a directory with everything in it and tells whether it is gone.
//
// A symbolic link anywhere in the tree is removed as a link; what it points to is never
// touched. A tree that holds a mount (another file system, or a bind mount of a folder or
// file) is refused as a whole: nothing is deleted and the result is false. Directories the
// user owns but cannot write are made writable first, so read-only copies of a backup can
// be deleted. On any other failure the deletion stops and what was deleted so far stays
// deleted.
bool DeleteDirectoryTree(const QString &path);
