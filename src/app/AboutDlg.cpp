#include "app/AboutDlg.h"

#include "OrvikVersion.h"
#include "app/AppResources.h"

#include "ui_AboutDlg.h"

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::CAboutDlg>())
{
    ui->setupUi(this);
    const QIcon icon = ProgramIcon();
    setWindowIcon(icon);
    ui->AboutIcon->setPixmap(icon.pixmap(32, 32));
    ui->AboutVersion->setText(QStringLiteral("Orvik %1").arg(QLatin1String(kOrvikVersion)));
}

CAboutDlg::~CAboutDlg() = default;
