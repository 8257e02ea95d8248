// DirectoryHandle on Windows handles.
//
// Win32 opens nothing relative to a handle, so names are opened by their full path. The
// path cannot lead anywhere else: every folder on it is held open with a read access and
// without FILE_SHARE_DELETE, so no one can rename, remove or replace it meanwhile; reparse
// points (junctions, symbolic links) are opened as themselves, never followed; and what
// opens is compared with what was looked at (volume serial number and file index).
#include "platform/DirectoryHandle.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <string>

#include <windows.h>

// An open folder, its full path ("\\?\C:\..."), and the folder it was opened in, which
// stays open as long as this one does.
class DirectoryHandle::Open
{
public:
    Open(HANDLE handle, std::wstring path, std::shared_ptr<const Open> parent)
        : m_handle(handle)
        , m_path(std::move(path))
        , m_parent(std::move(parent))
    {}
    ~Open() { CloseHandle(m_handle); }
    Open(const Open &) = delete;
    Open &operator=(const Open &) = delete;

    HANDLE handle() const { return m_handle; }
    const std::wstring &path() const { return m_path; }
    std::wstring pathOf(const Name &name) const
    {
        return m_path + (m_path.ends_with(L'\\') ? L"" : L"\\") + name.toStdWString();
    }

    // A handle on the folder `handle` opened under `path`, or a closed one when the open
    // failed.
    static DirectoryHandle adopt(HANDLE handle, std::wstring path, std::shared_ptr<const Open> parent)
    {
        if (handle == INVALID_HANDLE_VALUE)
            return DirectoryHandle();
        return DirectoryHandle(std::make_shared<const Open>(handle, std::move(path), std::move(parent)));
    }

private:
    HANDLE m_handle;
    std::wstring m_path;
    std::shared_ptr<const Open> m_parent;
};

namespace {

// Held folders share reading and writing but not deletion, which renaming needs too. A
// sharing mode binds others only when the holder asked for a read, write or delete right;
// FILE_TRAVERSE counts as one.
constexpr DWORD kHeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kAnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kFolderOnTheWay = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderToList = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// Opens `path` as itself: a reparse point is not followed, a folder opens like a file.
HANDLE openAsItself(const std::wstring &path, DWORD access, DWORD sharing)
{
    return CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// One name in a folder: not empty, no separator, not "." or "..".
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'\\') && !name.contains(u'/');
}

// What the open `handle` refers to, known as `name`; its attributes in `attributes`.
bool identify(HANDLE handle, const QString &name, DirectoryHandle::Entry *entry, DWORD *attributes = nullptr)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    DirectoryHandle::Kind kind = folder ? DirectoryHandle::Kind::Directory : DirectoryHandle::Kind::Other;
    bool mountRoot = false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A reparse point that stands for another name (junction, symbolic link, volume mount
        // point) is a link: removed as itself, never entered. So is one whose tag cannot be
        // read. A folder with another tag (a cloud placeholder, say) is not entered either.
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)
            || IsReparseTagNameSurrogate(tag.ReparseTag))
            kind = DirectoryHandle::Kind::Link;
        else
            mountRoot = folder;
    }
    const std::uint64_t index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    *entry = DirectoryHandle::Entry(name, kind, info.dwVolumeSerialNumber, index, mountRoot);
    if (attributes)
        *attributes = info.dwFileAttributes;
    return true;
}

// The attributes a program may set; FILE_ATTRIBUTE_NORMAL stands for none of them.
bool setAttributes(HANDLE handle, DWORD attributes)
{
    constexpr DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
                               | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE
                               | FILE_ATTRIBUTE_TEMPORARY;
    FILE_BASIC_INFO basic{}; // times left at zero stay as they are
    basic.FileAttributes = (attributes & settable) ? (attributes & settable) : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
}

// Splits an absolute path into the "\\?\" form of its root ("\\?\C:\", "\\?\UNC\server\share\")
// and the names below it. False for a form that is neither.
bool splitRoot(const QString &absolute, std::wstring *root, QStringList *names)
{
    const QString native = QDir::toNativeSeparators(absolute);
    QStringList parts = native.split(u'\\', Qt::SkipEmptyParts);
    if (native.size() >= 3 && native[0].isLetter() && native[1] == u':' && native[2] == u'\\') {
        *root = (QStringLiteral("\\\\?\\") + native.left(3)).toStdWString();
        parts.removeFirst();
    } else if (native.startsWith(QStringLiteral("\\\\")) && parts.size() >= 2) {
        *root = QStringLiteral("\\\\?\\UNC\\%1\\%2\\").arg(parts[0], parts[1]).toStdWString();
        parts.remove(0, 2);
    } else {
        return false;
    }
    *names = parts;
    return true;
}

} // namespace

DirectoryHandle DirectoryHandle::openParentOf(const QString &path, Name *leaf)
{
    // ".." is refused anywhere: Windows would resolve it by the path's text, not by the
    // folders on the way. A last name of "." would name the folder of a link.
    const QStringList given = QDir::fromNativeSeparators(path).split(u'/', Qt::SkipEmptyParts);
    if (given.isEmpty() || given.contains(QStringLiteral("..")) || given.last() == u".")
        return DirectoryHandle();
    std::wstring rootPath;
    QStringList names;
    if (!splitRoot(QDir::cleanPath(QFileInfo(path).absoluteFilePath()), &rootPath, &names) || names.isEmpty())
        return DirectoryHandle();
    *leaf = names.takeLast();

    DirectoryHandle dir = Open::adopt(openAsItself(rootPath, kFolderOnTheWay, kHeldSharing), rootPath, nullptr);
    for (const QString &name : std::as_const(names)) {
        if (!dir.isOpen())
            break;
        const std::wstring next = dir.m_open->pathOf(name);
        DirectoryHandle child = Open::adopt(openAsItself(next, kFolderOnTheWay, kHeldSharing), next, dir.m_open);
        Entry opened;
        // A junction or symbolic link on the way is refused, not gone through.
        if (!child.isOpen() || !identify(child.m_open->handle(), name, &opened) || opened.kind() != Kind::Directory)
            return DirectoryHandle();
        dir = std::move(child);
    }
    return dir;
}

bool DirectoryHandle::look(const Name &name, Entry *entry) const
{
    if (!isOpen() || !isPlainName(name))
        return false;
    // Reading attributes conflicts with no one's sharing mode.
    const HANDLE h = openAsItself(m_open->pathOf(name), FILE_READ_ATTRIBUTES, kAnySharing);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = identify(h, name, entry);
    CloseHandle(h);
    return ok;
}

DirectoryHandle DirectoryHandle::openDirectory(const Entry &entry) const
{
    if (!isOpen() || entry.kind() != Kind::Directory || !isPlainName(entry.name()))
        return DirectoryHandle();
    const std::wstring path = m_open->pathOf(entry.name());
    DirectoryHandle child = Open::adopt(openAsItself(path, kFolderToList, kHeldSharing), path, m_open);
    Entry opened;
    if (!child.isOpen() || !identify(child.m_open->handle(), entry.name(), &opened) || !opened.sameObject(entry)
        || opened.isMountRoot())
        return DirectoryHandle(); // the name was given to something else meanwhile
    return child;
}

bool DirectoryHandle::list(std::vector<Entry> *entries) const
{
    entries->clear();
    if (!isOpen())
        return false;
    // FILE_ID_BOTH_DIR_INFO records are 8-byte aligned within the buffer.
    std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    FILE_INFO_BY_HANDLE_CLASS batch = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(m_open->handle(), batch, buffer.data(),
                                          DWORD(buffer.size() * sizeof(LONGLONG))))
            return GetLastError() == ERROR_NO_MORE_FILES;
        batch = FileIdBothDirectoryInfo;
        const auto *record = reinterpret_cast<const char *>(buffer.data());
        for (;;) {
            const auto *item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(record);
            const QString name = QString::fromWCharArray(item->FileName, int(item->FileNameLength / sizeof(WCHAR)));
            if (name != u"." && name != u"..") {
                Entry entry;
                if (!look(name, &entry))
                    return false;
                entries->push_back(std::move(entry));
            }
            if (item->NextEntryOffset == 0)
                break;
            record += item->NextEntryOffset;
        }
    }
}

bool DirectoryHandle::makeOwnerWritable() const
{
    // A read-only attribute on a folder does not keep names in it from being removed; it is
    // cleared when the folder itself is removed.
    return isOpen();
}

namespace {

// Removes `entry`, named by `path`, through a handle that refers to the
// very object that was looked at. A read-only attribute, which would refuse the removal, is
// cleared first and put back should the removal fail.
bool removeChecked(const std::wstring &path, const DirectoryHandle::Entry &entry)
{
    const HANDLE h =
        openAsItself(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, kAnySharing);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DirectoryHandle::Entry now;
    DWORD attributes = 0;
    bool ok = identify(h, entry.name(), &now, &attributes) && now.sameObject(entry);
    const bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
    if (ok && readOnly)
        ok = setAttributes(h, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (ok) {
        // The name goes when the last handle on it is closed, this one as a rule.
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        ok = SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
        if (!ok && readOnly)
            setAttributes(h, attributes);
    }
    CloseHandle(h);
    return ok;
}

} // namespace

bool DirectoryHandle::removeName(const Entry &entry) const
{
    return isOpen() && entry.kind() != Kind::Directory && isPlainName(entry.name())
           && removeChecked(m_open->pathOf(entry.name()), entry);
}

bool DirectoryHandle::removeEmptyDirectory(const Entry &entry) const
{
    return isOpen() && entry.kind() == Kind::Directory && isPlainName(entry.name())
           && removeChecked(m_open->pathOf(entry.name()), entry);
}
