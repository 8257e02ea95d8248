#include "app/AboutDlg.h"

#include "OrvikVersion.h"
#include "app/AppResources.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include "ui_AboutDlg.h"

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::CAboutDlg>())
{
    ui->setupUi(this);
    const QIcon icon = ProgramIcon();
    setWindowIcon(icon);
    ui->AboutIcon->setPixmap(icon.pixmap(32, 32));
    ui->AboutVersion->setText(QStringLiteral("Orvik %1").arg(QLatin1String(kOrvikVersion)));
    // In the UI language; the built-in English stays when the language file lacks a text.
    const QString caption = GetDialogText(Ids::TxtAboutCaption);
    if (!caption.isEmpty())
        setWindowTitle(caption.arg(QStringLiteral("Orvik")));
    const QString purpose = GetDialogText(Ids::TxtAboutPurpose);
    if (!purpose.isEmpty())
        ui->AboutPurpose->setText(purpose);
}

CAboutDlg::~CAboutDlg() = default;
