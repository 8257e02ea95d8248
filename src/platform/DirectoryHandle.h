#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// An open directory, and every file system call the tree deletion makes, in one place.
//
// Everything below a handle is reached from the open directory, never through a path that
// could have changed, so a name swapped for a link between a look and an action cannot lead
// the action anywhere else: links are never followed, a directory is only entered and a
// name only removed when what opens is the very object that was looked at.
//
// The header is the same everywhere; the build picks the implementation:
// DirectoryHandlePosix.cpp (openat, fdopendir, statx, unlinkat, fchmod: names are reached
// relative to the open descriptor) or DirectoryHandleWin32.cpp (reparse points opened as
// themselves, objects told apart by volume serial number and file index; every directory
// on the way is held open without delete sharing, so it can be neither renamed nor
// replaced while names below it are opened by their full path).
class DirectoryHandle
{
public:
    enum class Kind { Directory, Link, Other };

    // A name in a directory exactly as the file system spells it: bytes on POSIX systems,
    // UTF-16 on Windows.
#ifdef _WIN32
    using Name = QString;
#else
    using Name = QByteArray;
#endif

    // What one name in a directory referred to when it was looked at.
    class Entry
    {
    public:
        Entry() = default;
        Entry(Name name, Kind kind, std::uint64_t device, std::uint64_t inode, bool mountRoot)
            : m_name(std::move(name))
            , m_kind(kind)
            , m_device(device)
            , m_inode(inode)
            , m_mountRoot(mountRoot)
        {}
        const Name &name() const { return m_name; }
        Kind kind() const { return m_kind; }
        // The device number (POSIX) or volume serial number (Windows) of the file system.
        std::uint64_t device() const { return m_device; }
        // Same kind, same file system, same inode (POSIX) or file index (Windows).
        bool sameObject(const Entry &other) const
        {
            return m_kind == other.m_kind && m_device == other.m_device && m_inode == other.m_inode;
        }
        // Something is mounted here (a bind mount keeps the device number of the tree), or,
        // on Windows, a folder is a reparse point of a kind that is not a link.
        bool isMountRoot() const { return m_mountRoot; }

    private:
        Name m_name;
        Kind m_kind = Kind::Other;
        std::uint64_t m_device = 0;
        std::uint64_t m_inode = 0;
        bool m_mountRoot = false;
    };

    DirectoryHandle() = default;

    // Opens the directory holding the last name of `path` and gives that name in `leaf`.
    // Fails when a folder on the way is a link, when the last name is "." or "..", or when
    // the path is empty. On Windows ".." anywhere in the path is refused.
    static DirectoryHandle openParentOf(const QString &path, Name *leaf);

    bool isOpen() const
    {
        return m_open != nullptr;
    }

    // Looks at `name` without following a link.
    bool look(const Name &name, Entry *entry) const;
    // Opens the directory `entry` names for listing, but only when it is still the object
    // that was looked at.
    DirectoryHandle openDirectory(const Entry &entry) const;
    // Every name in the directory (without "." and ".."), each looked at.
    bool list(std::vector<Entry> *entries) const;

    // Lets the owner write the directory when it may not: needed to remove names in it.
    bool makeOwnerWritable() const;
    // Removes the name of `entry` while it still refers to the object that was looked at:
    // a name that is not a directory (a link goes as a link), or an empty directory. A
    // directory must be closed before it is removed (Windows removes no open folder).
    // Windows clears the read-only attribute first, which would otherwise refuse it.
    bool removeName(const Entry &entry) const;
    bool removeEmptyDirectory(const Entry &entry) const;

private:
    // The platform's open directory; each implementation file defines it.
    class Open;
    explicit DirectoryHandle(std::shared_ptr<const Open> open) : m_open(std::move(open)) {}
    std::shared_ptr<const Open> m_open;
};
