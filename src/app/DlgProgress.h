#pragma once

#include <QDialog>

#include <memory>

class QProgressBar;

namespace Ui {
class CDlgProgress;
}

// The export's progress window: one progress bar, captioned with Ids::TxtProgressCaption. Only the export
// shows and hides it: Enter, Escape and the close box do nothing.
class CDlgProgress : public QDialog
{
    Q_OBJECT

public:
    explicit CDlgProgress(QWidget *parent = nullptr);
    ~CDlgProgress() override;

    QProgressBar *ProgressBar() const;

    void accept() override; // OnOK: nothing
    void reject() override; // OnCancel: nothing

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::CDlgProgress> ui;
};
