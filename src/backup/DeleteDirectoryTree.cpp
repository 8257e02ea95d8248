#include "backup/DeleteDirectoryTree.h"

#include "platform/DirectoryHandle.h"

#include <utility>
#include <vector>

namespace {

// Deeper trees are refused rather than walked with one open directory per level.
constexpr int kMaxDepth = 200;

// A directory as the check found it: the names to remove and the folders to empty first.
// The deletion works from this record only, so nothing that was not checked is touched.
class CheckedDirectory
{
public:
    // Looks at everything below `dir`, changing nothing. False when something lies on
    // another file system than `device`, is mounted there, or cannot be looked at.
    bool check(const DirectoryHandle &dir, std::uint64_t device, int depth)
    {
        std::vector<DirectoryHandle::Entry> entries;
        if (depth > kMaxDepth || !dir.list(&entries))
            return false;
        for (DirectoryHandle::Entry &entry : entries) {
            const bool link = entry.kind() == DirectoryHandle::Kind::Link;
            if (!link && (entry.device() != device || entry.isMountRoot()))
                return false;
            if (entry.kind() != DirectoryHandle::Kind::Directory) {
                m_names.push_back(std::move(entry));
                continue;
            }
            const DirectoryHandle child = dir.openDirectory(entry);
            CheckedDirectory checked;
            if (!child.isOpen() || !checked.check(child, device, depth + 1))
                return false;
            m_folders.emplace_back(std::move(entry), std::move(checked));
        }
        return true;
    }

    // Removes what the check found, each name only while it still refers to the object
    // that was checked. Stops at the first thing that changed or cannot be removed.
    bool remove(const DirectoryHandle &dir) const
    {
        // Read-only copies of a backup (from a CD, say) have folders their owner cannot write.
        if (!dir.makeOwnerWritable())
            return false;
        for (const DirectoryHandle::Entry &entry : m_names) {
            if (!dir.removeName(entry))
                return false;
        }
        for (const auto &[entry, checked] : m_folders) {
            if (!checked.removeFolder(dir, entry))
                return false;
        }
        return true;
    }

    // Empties the folder `entry` of `parent` with remove(), then removes the folder itself.
    bool removeFolder(const DirectoryHandle &parent, const DirectoryHandle::Entry &entry) const
    {
        {
            // Closed before the folder goes: Windows removes no folder that is open.
            const DirectoryHandle dir = parent.openDirectory(entry);
            if (!dir.isOpen() || !remove(dir))
                return false;
        }
        return parent.removeEmptyDirectory(entry);
    }

private:
    std::vector<DirectoryHandle::Entry> m_names;
    std::vector<std::pair<DirectoryHandle::Entry, CheckedDirectory>> m_folders;
};

} // namespace

bool DeleteDirectoryTree(const QString &path)
{
    DirectoryHandle::Name leaf;
    const DirectoryHandle parent = DirectoryHandle::openParentOf(path, &leaf);
    DirectoryHandle::Entry root;
    if (!parent.isOpen() || !parent.look(leaf, &root))
        return false;
    if (root.kind() == DirectoryHandle::Kind::Link)
        return parent.removeName(root);
    if (root.kind() != DirectoryHandle::Kind::Directory || root.isMountRoot())
        return false;
    CheckedDirectory tree;
    {
        // The root stays open from the check to the end of its emptying, and is closed
        // before it is removed itself.
        const DirectoryHandle dir = parent.openDirectory(root);
        if (!dir.isOpen() || !tree.check(dir, root.device(), 0) || !tree.remove(dir))
            return false;
    }
    return parent.removeEmptyDirectory(root);
}
