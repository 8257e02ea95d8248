#include "app/CallDetailPanel.h"

#include "backup/BackupArray.h"
#include "config/Desktop.h"
#include "db/ado/AdoDb.h"
#include "db/ado/AdoRecordR.h"
#include "db/exec/JetRecordset.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "task/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <mutex>

namespace {

// Where the last copy was saved: the next save-as starts there.
QString g_lastSaveFolder;

// The label of column `name` of table `record`: its text in the UI language when it is one
// of the record's known columns, else the column's own name.
QString FieldLabel(const QString &name)
{
    const auto &known = CAdoRecordR::ColumnNames();
    for (size_t i = 0; i < known.size(); ++i)
        if (name.compare(QLatin1String(known[i]), Qt::CaseInsensitive) == 0)
            return GetDialogText(Ids::TxtFieldFirst + int(i));
    return name;
}

// The text a value is shown with; the call's direction in words.
QString FieldText(const QString &name, const jet::Value &value)
{
    QString text;
    if (!value.toText(&text))
        return value.isError() ? value.errorText() : QString();
    if (name.compare(QLatin1String("call_direction"), Qt::CaseInsensitive) == 0 && !value.isNull()) {
        if (value.toInt64() == 0)
            return GetDialogText(Ids::TxtIncoming);
        if (value.toInt64() == 1)
            return GetDialogText(Ids::TxtOutgoing);
    }
    return text;
}

} // namespace

struct CallDetailPanel::Connection
{
    std::mutex inUse;
    QString backupDir;
    CAdoDb db;
};

CallDetailPanel::CallDetailPanel(QWidget *parent)
    : QWidget(parent)
    , m_folder(QString())
    , m_reader(new TaskRunner(this))
    , m_connection(std::make_shared<Connection>())
{
    setObjectName(QStringLiteral("CallDetailPanel"));
    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("DetailLine"));
    m_line->setWordWrap(true);
    m_line->setTextFormat(Qt::PlainText);
    m_line->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // A read-only text, so that a long remark or path wraps (anywhere, if it must) and any
    // part of it can be selected and copied.
    m_fieldsView = new QTextBrowser(this);
    m_fieldsView->setObjectName(QStringLiteral("DetailFields"));
    m_fieldsView->setFrameShape(QFrame::NoFrame);
    m_fieldsView->setOpenLinks(false);
    m_fieldsView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_fieldsView->viewport()->setAutoFillBackground(false);
    // The panel is never what makes the pane's row taller: the fields scroll.
    m_fieldsView->setMinimumHeight(2 * m_fieldsView->fontMetrics().lineSpacing());

    const auto button = [this](int textId, const char *name) {
        auto *b = new QPushButton(GetDialogText(textId), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    m_copyNumber = button(Ids::TxtCopyNumber, "DetailCopyNumber");
    m_copyPath = button(Ids::TxtCopyPath, "DetailCopyPath");
    m_showInFolder = button(Ids::TxtShowInFolder, "DetailShowInFolder");
    m_saveAs = button(Ids::TxtSaveRecordingAs, "DetailSaveAs");
    auto *buttons = new QGridLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(4);
    buttons->addWidget(m_copyNumber, 0, 0);
    buttons->addWidget(m_copyPath, 0, 1);
    buttons->addWidget(m_showInFolder, 1, 0);
    buttons->addWidget(m_saveAs, 1, 1);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(4);
    column->addWidget(m_line);
    column->addWidget(m_fieldsView, 1);
    column->addLayout(buttons);

    connect(m_copyNumber, &QPushButton::clicked, this, [this] { Desktop::current().copyToClipboard(m_number); });
    connect(m_copyPath, &QPushButton::clicked, this,
            [this] { Desktop::current().copyToClipboard(QDir::toNativeSeparators(m_recordingPath)); });
    connect(m_showInFolder, &QPushButton::clicked, this, [this] {
        if (m_folder.Check(m_recordingPath) == RecordingFolder::Verdict::Playable)
            Desktop::current().showInFolder(QDir::toNativeSeparators(m_recordingPath));
    });
    connect(m_saveAs, &QPushButton::clicked, this, &CallDetailPanel::saveRecordingAs);
    clear();
}

CallDetailPanel::~CallDetailPanel() = default;

QSize CallDetailPanel::sizeHint() const
{
    // As tall as the player pane asks to be, whatever its width (the wrapped lines of its
    // layout would ask for more): the fields scroll.
    return QSize(340, 120);
}

QList<QPair<QString, QString>> CallDetailPanel::fields() const
{
    QList<QPair<QString, QString>> shown;
    for (const Field &field : m_fields)
        shown.append({field.label, field.text});
    return shown;
}

void CallDetailPanel::showLine(const QString &text, State state)
{
    m_state = state;
    m_line->setText(text);
    m_line->setVisible(!text.isEmpty());
}

void CallDetailPanel::clear()
{
    m_reader->cancel();
    m_call = CallListModel::CallKey();
    m_number.clear();
    m_recordingPath.clear();
    m_folder = RecordingFolder(QString());
    showFields({});
    showLine(GetDialogText(Ids::TxtDetailsIdle), State::Idle);
    updateButtons();
}

void CallDetailPanel::showCall(const CallListModel::CallKey &call, const QString &number, const QString &recordingPath,
                               const RecordingFolder &folder)
{
    if (call == m_call && m_state != State::Idle && recordingPath == m_recordingPath)
        return;
    m_call = call;
    m_number = number;
    m_recordingPath = recordingPath;
    m_folder = folder;
    updateButtons();
    showFields({});
    showLine(GetDialogText(Ids::TxtDetailsLoading), State::Loading);

    const QString path =
        recordingPath == QLatin1String("DEL") ? recordingPath : QDir::toNativeSeparators(recordingPath);
    m_reader->start([this, connection = m_connection, call, path](const TaskRunner::Request &request) {
        const std::lock_guard<std::mutex> lock(connection->inUse);
        if (request.isCancelled())
            return;
        if (connection->backupDir != call.backupDir || !connection->db.IsOpen()) {
            connection->db.Close();
            connection->backupDir.clear();
            if (!connection->db.OpenForReading(CBackupArray::DatabaseOf(call.backupDir), QString())) {
                const QString reason = connection->db.LastError();
                request.deliver(
                    [this, reason] { showLine(GetDialogText(Ids::TxtDetailsFailed).arg(reason), State::Failed); });
                return;
            }
            connection->backupDir = call.backupDir;
        }
        std::shared_ptr<JetRecordset> cursor;
        if (!connection->db.SqlExecute(cursor, QStringLiteral("select * from record where id = %1").arg(call.id))) {
            const QString reason = connection->db.LastError();
            request.deliver(
                [this, reason] { showLine(GetDialogText(Ids::TxtDetailsFailed).arg(reason), State::Failed); });
            return;
        }
        if (cursor->isEof()) {
            request.deliver([this] { showLine(GetDialogText(Ids::TxtDetailsGone), State::Failed); });
            return;
        }
        QList<Field> fields;
        fields.append({GetDialogText(Ids::TxtFieldBackup), QDir::toNativeSeparators(QDir::cleanPath(call.backupDir))});
        const QStringList names = cursor->columnNames();
        for (int column = 0; column < names.size(); ++column) {
            jet::Value value;
            cursor->value(column, &value);
            fields.append({FieldLabel(names[column]), FieldText(names[column], value)});
        }
        fields.append({GetDialogText(Ids::TxtFieldRecordingPath), path});
        request.deliver([this, fields] {
            showFields(fields);
            showLine(QString(), State::Shown);
        });
    });
}

void CallDetailPanel::showFields(const QList<Field> &fields)
{
    m_fields = fields;
    // Texts from the database and file names are never read as markup.
    const auto escaped = [](const QString &text) {
        return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    };
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const Field &field : fields)
        html += QStringLiteral("<tr><td style=\"padding-right:8px\"><nobr>%1</nobr></td><td>%2</td></tr>")
                    .arg(escaped(field.label), escaped(field.text));
    html += QStringLiteral("</table>");
    m_fieldsView->setHtml(fields.isEmpty() ? QString() : html);
}

void CallDetailPanel::updateButtons()
{
    const bool recording = !m_recordingPath.isEmpty() && m_recordingPath != QLatin1String("DEL");
    const bool playable = recording && m_folder.Check(m_recordingPath) == RecordingFolder::Verdict::Playable;
    m_copyNumber->setEnabled(!m_number.isEmpty());
    m_copyPath->setEnabled(recording);
    m_showInFolder->setEnabled(playable);
    m_saveAs->setEnabled(playable);
}

void CallDetailPanel::saveRecordingAs()
{
    const QString source = m_recordingPath;
    Desktop &desktop = Desktop::current();
    // Only a file the voice folder holds, links followed, is copied: never what a link
    // inside it points to elsewhere.
    if (m_folder.Check(source) != RecordingFolder::Verdict::Playable) {
        desktop.showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                            GetDialogText(Ids::TxtSaveRefused), Desktop::Buttons::Ok);
        updateButtons();
        return;
    }
    const QString fileName = QFileInfo(source).fileName();
    const QString folder = g_lastSaveFolder.isEmpty() ? QDir::homePath() : g_lastSaveFolder;
    const QString target = desktop.saveFileAs(this, GetDialogText(Ids::TxtSaveRecordingTitle),
                                              QDir::toNativeSeparators(QDir(folder).filePath(fileName)));
    if (target.isEmpty())
        return;
    const QFileInfo targetInfo(target);
    g_lastSaveFolder = targetInfo.absolutePath();
    if (targetInfo.exists() && targetInfo.canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
        // Saving the recording over itself would change nothing but could lose it.
        desktop.showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                            GetDialogText(Ids::TxtSaveFailed).arg(QDir::toNativeSeparators(target), fileName),
                            Desktop::Buttons::Ok);
        return;
    }

    // Copied on a worker into a file of its own beside the target, which takes the target's
    // name only once it is whole: a failed copy leaves nothing half written.
    auto *runner = new TaskRunner(this);
    ++m_savesRunning;
    runner->start(
        [this, source, target](const TaskRunner::Request &request) {
            QFile in(source);
            QSaveFile out(target);
            QString error;
            if (!in.open(QIODevice::ReadOnly)) {
                error = in.errorString();
            } else if (!out.open(QIODevice::WriteOnly)) {
                error = out.errorString();
            } else {
                QByteArray block;
                while (!request.isCancelled() && !(block = in.read(1 << 20)).isEmpty()) {
                    if (out.write(block) != block.size())
                        break;
                }
                if (request.isCancelled())
                    return;
                if (in.error() != QFileDevice::NoError)
                    error = in.errorString();
                else if (out.error() != QFileDevice::NoError || !out.commit())
                    error = out.errorString();
            }
            request.deliver([this, target, error] {
                const QString shown = QDir::toNativeSeparators(target);
                if (error.isEmpty()) {
                    if (m_state == State::Shown)
                        showLine(GetDialogText(Ids::TxtSaved).arg(shown), State::Shown);
                    return;
                }
                Desktop::current().showMessage(this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                                               GetDialogText(Ids::TxtSaveFailed).arg(shown, error),
                                               Desktop::Buttons::Ok);
            });
        },
        [this, target](const QString &failure) {
            Desktop::current().showMessage(
                this, Desktop::Icon::Error, GetDialogText(Ids::TxtErrorCaption),
                GetDialogText(Ids::TxtSaveFailed).arg(QDir::toNativeSeparators(target), failure), Desktop::Buttons::Ok);
        });
    connect(runner, &TaskRunner::finished, this, [this, runner] {
        --m_savesRunning;
        runner->deleteLater();
    });
}
