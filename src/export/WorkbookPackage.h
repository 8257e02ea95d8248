#pragma once
// Read access to a workbook file (an Open Packaging zip archive): its parts, the
// relationships between them, and the parts the workbook writer works on.

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct zip;

class WorkbookPackage
{
public:
    struct Relationship
    {
        std::string id;
        std::string type;
        std::string target; // part name the target resolves to (no leading '/')
        bool external = false;
    };

    // Where the writer finds what it needs: all part names as stored in the archive.
    struct Layout
    {
        std::string workbookPart;
        std::string workbookRelsPart;
        std::string sheetPart;
        std::string stylesPart;    // empty when the workbook has none
        std::string calcChainPart; // empty when the workbook has none
        std::string calcChainRelId;
        bool date1904 = false;
    };

    WorkbookPackage() = default;
    ~WorkbookPackage();
    WorkbookPackage(const WorkbookPackage &) = delete;
    WorkbookPackage &operator=(const WorkbookPackage &) = delete;

    bool Open(const QString &path);
    void Close();
    zip *Archive() const { return m_zip; }
    QString ErrorText() const { return m_error; }

    // Index of a part in the archive (part names compare without regard to case), or -1.
    std::int64_t IndexOf(const std::string &part) const;
    // Name of the entry at an index, as stored.
    std::string NameAt(std::uint64_t index) const;
    std::uint64_t EntryCount() const;
    bool Read(const std::string &part, std::string &bytes);
    bool ReadRelationships(const std::string &sourcePart, std::vector<Relationship> &out);

    // Finds the workbook part, and in it the worksheet whose name equals sheetName without
    // regard to case, following the workbook's own sheet list and relationships.
    bool Locate(const QString &sheetName, Layout &layout);

    // The relationships part of a part ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels";
    // "" -> "_rels/.rels").
    static std::string RelationshipsPartOf(const std::string &part);
    // Resolves a relationship target against the part that holds the relationship.
    static std::string ResolveTarget(const std::string &sourcePart, std::string_view target);

private:
    bool SetError(const QString &text);

    zip *m_zip = nullptr;
    QString m_path;
    QString m_error;
};
