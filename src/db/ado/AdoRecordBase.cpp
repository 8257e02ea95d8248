#include "db/ado/AdoRecordBase.h"

#include "db/ado/AdoDb.h"
#include "db/exec/DebugTrace.h"
#include "db/exec/JetConnection.h"
#include "db/exec/JetRecordset.h"

CAdoRecordBase::CAdoRecordBase(CAdoDb *db) : m_pDb(db) {}

CAdoRecordBase::~CAdoRecordBase() = default;

bool CAdoRecordBase::Open(const QString &sql)
{
    if (m_bOpen) {
        m_pRecordset->close();
        m_bOpen = 0;
    }
    const bool ok = m_pDb->SqlExecute(m_pRecordset, sql);
    if (ok)
        m_bOpen = 1;
    return ok;
}

bool CAdoRecordBase::HasRecord() const
{
    return m_bOpen && m_pRecordset && !m_pRecordset->isEof();
}

void CAdoRecordBase::MoveNext()
{
    QString error = JetConnection::closedError().message;
    if (!m_pRecordset || !m_pRecordset->moveNext(&error))
        DebugTrace("CAdoRecordBase::MoveNext error [%s] \n", TraceText(error).constData());
}

void CAdoRecordBase::Close()
{
    if (!m_bOpen)
        return;
    if (m_pRecordset)
        m_pRecordset->close();
    else
        DebugTrace("CAdoRecordBase::Close error [%s] \n", TraceText(JetConnection::closedError().message).constData());
    m_bOpen = 0;
}
