// The window-facing operations of CConfig: the UI font and the folder picker.
#include "config/Config.h"
#include "config/Desktop.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QFont>
#include <QFontDatabase>
#include <QWidget>

void CConfig::CreateUiFont()
{
    m_font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

void CConfig::ApplyFontToChildren(QObject *window) const
{
    if (!window)
        return;
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        // Without a UI font the children keep the font they have.
        if (m_font.isValid())
            child->setFont(m_font.value<QFont>());
    }
}

QString CConfig::BrowseForFolder(QObject *parent, const QString &title, const QString & /*extra*/) const
{
    const QString caption = title.isEmpty() ? GetDialogText(Ids::TxtFolderPickerTitle) : title;
    return Desktop::current().browseForFolder(parent, caption);
}
