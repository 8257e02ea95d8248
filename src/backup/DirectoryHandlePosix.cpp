#include "backup/DirectoryHandle.h"

#include <QFile>

#include <cerrno>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

DirectoryHandle::~DirectoryHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

DirectoryHandle::DirectoryHandle(DirectoryHandle &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

DirectoryHandle &DirectoryHandle::operator=(DirectoryHandle &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

DirectoryHandle DirectoryHandle::openParentOf(const QString &path, QByteArray *leaf)
{
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1); // with a trailing slash a link in the last place would be followed
    const QList<QByteArray> parts = native.split('/');
    *leaf = parts.last();
    if (leaf->isEmpty() || *leaf == "." || *leaf == "..")
        return DirectoryHandle();
    // Only a search right is needed on the folders on the way, hence O_PATH.
    DirectoryHandle dir(openRetrying(AT_FDCWD, native.startsWith('/') ? "/" : ".", O_PATH | O_DIRECTORY));
    for (qsizetype i = 0; dir.isOpen() && i + 1 < parts.size(); ++i) {
        if (parts[i].isEmpty() || parts[i] == ".")
            continue;
        // O_NOFOLLOW with O_DIRECTORY refuses a link instead of going where it points.
        dir = DirectoryHandle(openRetrying(dir.m_fd, parts[i].constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW));
    }
    return dir;
}

bool DirectoryHandle::look(const QByteArray &name, Entry *entry) const
{
    return m_fd >= 0 && !name.isEmpty() && lookAt(m_fd, name, entry);
}

DirectoryHandle DirectoryHandle::openDirectory(const Entry &entry) const
{
    if (m_fd < 0 || entry.kind() != Kind::Directory)
        return DirectoryHandle();
    DirectoryHandle child(openRetrying(m_fd, entry.name().constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    Entry opened;
    if (!child.isOpen() || !lookAt(child.m_fd, QByteArray(), &opened) || !opened.sameObject(entry))
        return DirectoryHandle(); // the name was given to something else meanwhile
    return child;
}

bool DirectoryHandle::list(std::vector<Entry> *entries) const
{
    entries->clear();
    const int listFd = m_fd >= 0 ? ::dup(m_fd) : -1;
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
        if (!lookAt(m_fd, name, &entry)) {
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
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return false;
    if ((st.st_mode & S_IRWXU) == S_IRWXU)
        return true;
    return ::fchmod(m_fd, (st.st_mode & 07777) | S_IRWXU) == 0;
}

bool DirectoryHandle::removeName(const QByteArray &name) const
{
    return m_fd >= 0 && !name.isEmpty() && ::unlinkat(m_fd, name.constData(), 0) == 0;
}

bool DirectoryHandle::removeEmptyDirectory(const QByteArray &name) const
{
    return m_fd >= 0 && !name.isEmpty() && ::unlinkat(m_fd, name.constData(), AT_REMOVEDIR) == 0;
}
