#pragma once

#include <QString>

#include <memory>

class MenuTextTarget;
class TiXmlDocument;
class TiXmlNode;

// The UI language file: an XML document of the form
//
//   <Talvenor><Native-Langue>
//     <Orvik_Menu><Main>
//       <Entries>, <Commands>, <PopMenus0>, <PopMenus1>   menu texts, see TranslateMenu
//     </Main></Orvik_Menu>
//     <Dialog>
//       <UserDlg0> … <UserDlg3>   text id t is Item (t mod 50) of UserDlg<t div 50>
//       <ColumnId>                list-column titles by column id
//     </Dialog>
//   </Native-Langue></Talvenor>
//
// with texts in <Item id="..." name="..."/> elements, in the encoding its XML declaration
// names. One file is loaded at most once, by the main window, before any other thread
// exists; after that the object is only read, so lookups may run on any thread.
//
// Lookups never fail loudly: a missing file, element or attribute gives the lookup's
// fallback (an empty text; a single blank for column titles). Why a file could not be
// loaded is kept for the caller to tell the user (LoadError).
class CLanguage
{
public:
    // Load looks up language files below programDir, read at every Load rather than copied:
    // g_language is given g_config.m_appDir, so it loads from wherever the settings were last
    // read. The string must outlive the object, hence no temporaries.
    explicit CLanguage(const QString &programDir);
    CLanguage(QString &&) = delete;
    ~CLanguage();
    CLanguage(const CLanguage &) = delete;
    CLanguage &operator=(const CLanguage &) = delete;

    // Code page of the attribute texts; 0 (the system's multibyte code page, UTF-8 here)
    // unless the loaded file's first node is an XML declaration naming an encoding.
    int m_codePage = 0;
    // The parsed language file; null while none is loaded.
    std::unique_ptr<TiXmlDocument> m_document;

    // Loads relativeName (e.g. "language/Menu_English.xml") from the program directory as it
    // stands at this call.
    // Returns 0 when loaded; -1 when the file cannot be read or parsed (no document stays
    // loaded) or when it lacks Talvenor/Native-Langue (the document stays loaded, and every
    // lookup fails on it); -2 when no file exists there (the previous document stays).
    int Load(const QString &relativeName);
    // The same for a file given by its full path.
    int LoadFile(const QString &path);
    // Why the latest Load or LoadFile failed ("it does not exist", "it is not well-formed
    // XML (...)", ...); empty after a load that succeeded.
    const QString &LoadError() const { return m_loadError; }

    // The raw "name" attribute (bytes in the file's encoding, owned by the document) of the
    // first Item under Talvenor/Native-Langue/group/section whose "id" reads as id. Null
    // when no document is loaded, the path is incomplete, no Item matches, or the matching
    // Item has no "name".
    const char *FindItemName(const char *group, const char *section, int id) const;

    // Text id → text, empty when missing.
    QString DialogText(int textId) const;
    // Column id → column title, " " when missing.
    QString ColumnText(int columnId) const;

    // Retitles a menu bar from <menuElement>/Main: the Entries Items by position, then the
    // Commands Items by command id. Returns -1, changing nothing, when no document is loaded
    // or the path down to Entries is incomplete; 0 otherwise.
    int TranslateMenu(MenuTextTarget &menu, const char *menuElement) const;
    // Retitles a popup from <menuElement>/Main/<popupElement> by command id. Returns -1 when
    // no document is loaded or the path is incomplete; 0 otherwise.
    int TranslatePopupMenu(MenuTextTarget &popup, const char *menuElement, const char *popupElement) const;

    // The directory Load resolves relative names against.
    const QString &ProgramDir() const { return m_programDir; }

private:
    const TiXmlNode *Walk(std::initializer_list<const char *> path) const;
    int LoadDocument(const QString &path);

    const QString &m_programDir;
    QString m_loadError;
};

// The program's language, shared by all windows.
extern CLanguage g_language;

// Text id → text of g_language, empty when missing.
QString GetDialogText(int textId);
// Column id → column title of g_language, " " when missing.
QString GetColumnText(int columnId);
