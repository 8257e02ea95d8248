#include "app/DlgProgress.h"

#include "lang/Ids.h"
#include "lang/Language.h"

#include "ui_DlgProgress.h"

#include <QCloseEvent>

CDlgProgress::CDlgProgress(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::CDlgProgress>())
{
    ui->setupUi(this);
    // A caption and a close box that does nothing, no help or resize decorations.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    setWindowTitle(GetDialogText(Ids::TxtProgressCaption));
}

CDlgProgress::~CDlgProgress() = default;

QProgressBar *CDlgProgress::ProgressBar() const
{
    return ui->IdcProgress;
}

void CDlgProgress::accept() {}

void CDlgProgress::reject() {}

void CDlgProgress::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
