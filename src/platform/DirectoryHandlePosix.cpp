// DirectoryHandle on POSIX descriptors: every name is reached relative to an open directory.
#include "platform/DirectoryHandle.h"

#include <QFile>

#include <cerrno>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// An open directory descriptor, closed with the last handle that shares it.
class DirectoryHandle::Open
{
public:
    explicit Open(int fd) : m_fd(fd) {}
    ~Open() { ::close(m_fd); }
    Open(const Open &) = delete;
    Open &operator=(const Open &) = delete;
    int fd() const { return m_fd; }

    // A handle on `fd`, or a closed one when the open that gave `fd` failed.
    static DirectoryHandle adopt(int fd)
    {
        return fd >= 0 ? DirectoryHandle(std::make_shared<const Open>(fd)) : DirectoryHandle();
    }

private:
    int m_fd;
};

namespace {

int openRetrying(int dirFd, const char *name, int flags)
{
    int fd;
    do {
        fd = ::openat(dirFd, name, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

DirectoryHandle::Kind kindOf(unsigned mode)
{
    if (S_ISDIR(mode))
        return DirectoryHandle::Kind::Directory;
    return S_ISLNK(mode) ? DirectoryHandle::Kind::Link : DirectoryHandle::Kind::Other;
}

// Looks at `name` in `dirFd` (or at `dirFd` itself when `name` is empty), links not followed.
bool lookAt(int dirFd, const QByteArray &name, DirectoryHandle::Entry *entry)
{
    struct statx stx
    {};
    const int flags = AT_SYMLINK_NOFOLLOW | (name.isEmpty() ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name.constData(), flags, STATX_TYPE | STATX_INO, &stx) != 0)
        return false;
    const bool mountRoot =
        (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    *entry = DirectoryHandle::Entry(name, kindOf(stx.stx_mode), makedev(stx.stx_dev_major, stx.stx_dev_minor),
                                    stx.stx_ino, mountRoot);
    return true;
}

} // namespace

DirectoryHandle DirectoryHandle::openParentOf(const QString &path, Name *leaf)
{
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1); // with a trailing slash a link in the last place would be followed
    const QList<QByteArray> parts = native.split('/');
    *leaf = parts.last();
    if (leaf->isEmpty() || *leaf == "." || *leaf == "..")
        return DirectoryHandle();
    // Only a search right is needed on the folders on the way, hence O_PATH.
    DirectoryHandle dir = Open::adopt(openRetrying(AT_FDCWD, native.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY));
    for (qsizetype i = 0; dir.isOpen() && i + 1 < parts.size(); ++i) {
        if (parts[i].isEmpty() || parts[i] == ".")
            continue;
        // O_NOFOLLOW with O_DIRECTORY refuses a link instead of going where it points.
        dir = Open::adopt(openRetrying(dir.m_open->fd(), parts[i].constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW));
    }
    return dir;
}

bool DirectoryHandle::look(const Name &name, Entry *entry) const
{
    return isOpen() && !name.isEmpty() && lookAt(m_open->fd(), name, entry);
}

DirectoryHandle DirectoryHandle::openDirectory(const Entry &entry) const
{
    if (!isOpen() || entry.kind() != Kind::Directory)
        return DirectoryHandle();
    DirectoryHandle child =
        Open::adopt(openRetrying(m_open->fd(), entry.name().constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    Entry opened;
    if (!child.isOpen() || !lookAt(child.m_open->fd(), QByteArray(), &opened) || !opened.sameObject(entry))
        return DirectoryHandle(); // the name was given to something else meanwhile
    return child;
}

bool DirectoryHandle::list(std::vector<Entry> *entries) const
{
    entries->clear();
    const int listFd = isOpen() ? ::dup(m_open->fd()) : -1;
    if (listFd < 0)
        return false;
    DIR *stream = ::fdopendir(listFd);
    if (!stream) {
        ::close(listFd);
        return false;
    }
    ::rewinddir(stream);
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(stream);
        if (!item) {
            ok = errno == 0;
            break;
        }
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        Entry entry;
        if (!lookAt(m_open->fd(), name, &entry)) {
            ok = false;
            break;
        }
        entries->push_back(std::move(entry));
    }
    ::closedir(stream);
    return ok;
}

bool DirectoryHandle::makeOwnerWritable() const
{
    struct stat st
    {};
    if (!isOpen() || ::fstat(m_open->fd(), &st) != 0)
        return false;
    if ((st.st_mode & S_IRWXU) == S_IRWXU)
        return true;
    return ::fchmod(m_open->fd(), (st.st_mode & 07777) | S_IRWXU) == 0;
}

bool DirectoryHandle::removeName(const Entry &entry) const
{
    Entry now;
    return look(entry.name(), &now) && now.sameObject(entry)
           && ::unlinkat(m_open->fd(), entry.name().constData(), 0) == 0;
}

bool DirectoryHandle::removeEmptyDirectory(const Entry &entry) const
{
    Entry now;
    return look(entry.name(), &now) && now.sameObject(entry)
           && ::unlinkat(m_open->fd(), entry.name().constData(), AT_REMOVEDIR) == 0;
}
