#include "backup/DeleteDirectoryTree.h"

#include <QFile>

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace {

bool deviceOf(const fs::path &p, dev_t *device)
{
    struct stat st
    {};
    if (::lstat(p.c_str(), &st) != 0)
        return false;
    *device = st.st_dev;
    return true;
}

// True when `p` (a link is not followed) lies on `device` and is not the root of a mount.
// A bind mount of a folder or file of the same file system carries the same device number
// as the tree around it; only the mount-root attribute tells it apart.
bool inTreeOnDevice(const fs::path &p, dev_t device)
{
    struct statx stx
    {};
    if (::statx(AT_FDCWD, p.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &stx) != 0)
        return false;
    if (makedev(stx.stx_dev_major, stx.stx_dev_minor) != device)
        return false;
    return !(stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) || !(stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

void makeOwnerWritable(const fs::path &dir)
{
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
}

// True when nothing below `dir` lies on another file system than `device` or is mounted
// there. Symbolic links are not followed, so only real directories are descended into.
bool staysOnDevice(const fs::path &dir, dev_t device)
{
    makeOwnerWritable(dir); // a directory that cannot be listed cannot be checked
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::file_status status = it->symlink_status(ec);
        if (ec)
            return false;
        if (fs::is_symlink(status))
            continue;
        if (!inTreeOnDevice(it->path(), device))
            return false;
        if (fs::is_directory(status) && !staysOnDevice(it->path(), device))
            return false;
    }
    return true;
}

bool deleteTree(const fs::path &dir, dev_t device)
{
    makeOwnerWritable(dir);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path item = it->path();
        const fs::file_status status = it->symlink_status(ec);
        if (ec)
            return false;
        if (fs::is_directory(status)) {
            if (!inTreeOnDevice(item, device))
                return false; // a mount point appeared since the check: leave it alone
            if (!deleteTree(item, device))
                return false;
        } else if (!fs::remove(item, ec) || ec) {
            return false; // files, links and special files are removed as names
        }
    }
    return fs::remove(dir, ec) && !ec;
}

} // namespace

bool DeleteDirectoryTree(const QString &path)
{
    QString cleaned = path;
    while (cleaned.size() > 1 && cleaned.endsWith(u'/'))
        cleaned.chop(1); // with a trailing slash the link itself could not be seen
    if (cleaned.isEmpty())
        return false;
    const fs::path root(QFile::encodeName(cleaned).toStdString());

    std::error_code ec;
    const fs::file_status status = fs::symlink_status(root, ec);
    if (ec)
        return false;
    if (fs::is_symlink(status))
        return fs::remove(root, ec) && !ec;
    if (!fs::is_directory(status))
        return false;

    dev_t device = 0;
    if (!deviceOf(root, &device) || !staysOnDevice(root, device))
        return false;
    return deleteTree(root, device);
}
