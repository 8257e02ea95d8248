#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// An open directory, and every file system call the tree deletion makes, in one place.
//
// Everything below a handle is reached by name relative to the open directory, never by a
// path again, so a name swapped for a link between a look and an action cannot lead the
// action anywhere else: links are never followed, and a directory is only entered when
// what opens is the very object that was looked at (same device, same inode).
//
// This is the POSIX implementation (openat, fdopendir, statx, unlinkat, fchmod).
class DirectoryHandle
{
public:
    enum class Kind { Directory, Link, Other };

    // What one name in a directory referred to when it was looked at.
    class Entry
    {
    public:
        Entry() = default;
        Entry(QByteArray name, Kind kind, std::uint64_t device, std::uint64_t inode, bool mountRoot)
            : m_name(std::move(name))
            , m_kind(kind)
            , m_device(device)
            , m_inode(inode)
            , m_mountRoot(mountRoot)
        {}
        const QByteArray &name() const { return m_name; } // as the file system spells it
        Kind kind() const { return m_kind; }
        std::uint64_t device() const { return m_device; }
        bool sameObject(const Entry &other) const
        {
            return m_kind == other.m_kind && m_device == other.m_device && m_inode == other.m_inode;
        }
        // Something is mounted here (a bind mount keeps the device number of the tree).
        bool isMountRoot() const { return m_mountRoot; }

    private:
        QByteArray m_name;
        Kind m_kind = Kind::Other;
        std::uint64_t m_device = 0;
        std::uint64_t m_inode = 0;
        bool m_mountRoot = false;
    };

    DirectoryHandle() = default;
    ~DirectoryHandle();
    DirectoryHandle(DirectoryHandle &&other) noexcept;
    DirectoryHandle &operator=(DirectoryHandle &&other) noexcept;
    DirectoryHandle(const DirectoryHandle &) = delete;
    DirectoryHandle &operator=(const DirectoryHandle &) = delete;

    // Opens the directory holding the last name of `path` and gives that name in `leaf`.
    // Fails when a folder on the way is a symbolic link, when the last name is "." or
    // "..", or when the path is empty.
    static DirectoryHandle openParentOf(const QString &path, QByteArray *leaf);

    bool isOpen() const { return m_fd >= 0; }

    // Looks at `name` without following a link.
    bool look(const QByteArray &name, Entry *entry) const;
    // Opens the directory `entry` names for listing, but only when it is still the object
    // that was looked at.
    DirectoryHandle openDirectory(const Entry &entry) const;
    // Every name in the directory (without "." and ".."), each looked at.
    bool list(std::vector<Entry> *entries) const;

    // Lets the owner write the directory when it may not: needed to remove names in it.
    bool makeOwnerWritable() const;
    // Removes a name that is not a directory (a link goes as a link), or an empty directory.
    bool removeName(const QByteArray &name) const;
    bool removeEmptyDirectory(const QByteArray &name) const;

private:
    explicit DirectoryHandle(int fd) : m_fd(fd) {}
    int m_fd = -1;
};
