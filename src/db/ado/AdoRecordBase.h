#pragma once

#include <QString>

#include <memory>

class CAdoDb;
class JetRecordset;

// A forward-only row cursor over the result of one statement run through a CAdoDb.
class CAdoRecordBase
{
public:
    // `db` is not owned and must outlive the cursor.
    explicit CAdoRecordBase(CAdoDb *db);
    // Virtual: CAdoRecordR derives from it, and a cursor freed through the base must free
    // all of itself.
    virtual ~CAdoRecordBase();
    CAdoRecordBase(const CAdoRecordBase &) = delete;
    CAdoRecordBase &operator=(const CAdoRecordBase &) = delete;

    // Runs a row-returning statement; a result held open is closed first.
    bool Open(const QString &sql);
    // True while a result is open and the cursor stands on a row.
    bool HasRecord() const;
    // Moves to the next row; at the end (or without a result) it traces the error and stays.
    void MoveNext();
    void Close();

    std::shared_ptr<JetRecordset> m_pRecordset;
    CAdoDb *m_pDb = nullptr;
    int m_bOpen = 0;
};
