#include "db/ado/AdoDb.h"

#include "config/Desktop.h"
#include "db/exec/DebugTrace.h"
#include "db/exec/JetConnection.h"
#include "db/jet/Journal.h"
#include "lang/Ids.h"
#include "lang/Language.h"

namespace {

// A value inside a connection string: quoted (inner quotes doubled) whenever it holds a
// character that would otherwise end it or change its meaning, so that a path with a
// semicolon or a password with an apostrophe stays one value.
QString quoteValue(const QString &value)
{
    if (!value.contains(u';') && !value.contains(u'"') && !value.contains(u'\'') && value.trimmed() == value)
        return value;
    QString quoted = value;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

CAdoDb::CAdoDb() = default;

CAdoDb::~CAdoDb()
{
    Close();
    m_pConnection.reset();
}

QString CAdoDb::ConnectionString(int attempt, const QString &path, const QString &password)
{
    return connectionString(path, password,
                            attempt == 1 ? QStringLiteral("Read|Write")
                                         : QStringLiteral("Read|Share Deny Write|Share Exclusive"));
}

QString CAdoDb::connectionString(const QString &path, const QString &password, const QString &mode)
{
    QString escapedPassword = password;
    escapedPassword.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral(
               "Provider = Microsoft.Jet.OLEDB.4.0;Data Source = %1;Jet OLEDB:Database Password='%2';Mode=%3")
        .arg(quoteValue(path), escapedPassword, mode);
}

bool CAdoDb::OpenAccessDatabase(const QString &path, const QString &password)
{
    Close();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        m_pConnection = std::make_shared<JetConnection>();
        // The engine takes the path and the password as they are; the connection string is
        // composed for diagnostics only, so nothing in it is ever parsed again.
        m_lastConnectionString = ConnectionString(attempt, path, password);
        const auto mode = attempt == 1 ? JetConnection::Mode::ReadWrite : JetConnection::Mode::ReadOnlyExclusive;
        sql::SqlError error;
        if (!m_pConnection->open(path, password, mode, &error)) {
            m_lastError = error.message;
            DebugTrace("OpenAccessDatabase %s error [%s] \n", TraceText(path).constData(),
                       TraceText(error.message).constData());
            Close();
            continue;
        }
        TraceRolledBack("OpenAccessDatabase", path);
        if (attempt == 2)
            Desktop::current().showMessage(nullptr, Desktop::Icon::Information, QString(),
                                           GetDialogText(Ids::TxtOpenedReadOnly), Desktop::Buttons::Ok);
        return true;
    }
    return false;
}

bool CAdoDb::OpenForReading(const QString &path, const QString &password)
{
    Close();
    m_pConnection = std::make_shared<JetConnection>();
    m_lastConnectionString = connectionString(path, password, QStringLiteral("Read|Share Deny None"));
    sql::SqlError error;
    if (m_pConnection->open(path, password, JetConnection::Mode::ReadOnlyShared, &error)) {
        TraceRolledBack("OpenForReading", path);
        return true;
    }
    m_lastError = error.message;
    DebugTrace("OpenForReading %s error [%s] \n", TraceText(path).constData(), TraceText(error.message).constData());
    Close();
    return false;
}

void CAdoDb::TraceRolledBack(const char *operation, const QString &path) const
{
    if (m_pConnection->readsRolledBack())
        DebugTrace("%s %s read as rolled back: %s holds a delete that did not finish \n", operation,
                   TraceText(path).constData(), TraceText(jet::Journal::pathFor(path)).constData());
    if (!m_pConnection->journalLeftAlone().isEmpty())
        DebugTrace("%s %s: %s \n", operation, TraceText(path).constData(),
                   TraceText(m_pConnection->journalLeftAlone()).constData());
}

bool CAdoDb::IsOpen() const
{
    return m_pConnection && m_pConnection->isOpen();
}

bool CAdoDb::CanWrite() const
{
    return m_pConnection && m_pConnection->canWrite();
}

bool CAdoDb::ReadsRolledBack() const
{
    return m_pConnection && m_pConnection->isOpen() && m_pConnection->readsRolledBack();
}

QString CAdoDb::JournalLeftAlone() const
{
    return m_pConnection && m_pConnection->isOpen() ? m_pConnection->journalLeftAlone() : QString();
}

void CAdoDb::Close()
{
    sql::SqlError error = JetConnection::closedError();
    if (!m_pConnection || !m_pConnection->close(&error))
        DebugTrace("CAdoDb::Close() error [%s] \n", TraceText(error.message).constData());
}

bool CAdoDb::SqlExecute(const QString &sql)
{
    DebugTrace("sql execute 0 [%s]\n", TraceText(sql).constData());
    sql::SqlError error = JetConnection::closedError();
    if (!m_pConnection || !m_pConnection->execute(sql, nullptr, &error)) {
        m_lastError = error.message;
        DebugTrace("CAdoDb::SqlExecute error [%x][%s] \n", error.hresult, TraceText(error.message).constData());
        return false;
    }
    return true;
}

bool CAdoDb::SqlExecute(std::shared_ptr<JetRecordset> &cursor, const QString &sql)
{
    DebugTrace("sql execute 1 [%s]\n", TraceText(sql).constData());
    sql::SqlError error = JetConnection::closedError();
    std::shared_ptr<JetRecordset> result;
    if (!m_pConnection || !m_pConnection->execute(sql, &result, &error)) {
        m_lastError = error.message;
        DebugTrace("CAdoDb::SqlExecute error [%s] \n", TraceText(error.message).constData());
        return false;
    }
    cursor = std::move(result);
    return true;
}
