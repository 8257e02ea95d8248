#pragma once

#include <QString>

// One backup of the call recorder: a directory holding config.ini and dbR.mdb.
struct BackupEntry
{
    QString m_name;    // last component of the directory's path
    QString m_dtStart; // "dt_start" of section "base" in its config.ini, as stored
    QString m_dtStop;  // "dt_stop" of section "base", as stored
    QString m_path;    // the backup directory, always ending in "/"
};
