#pragma once

#include <QString>

// The lock file that Microsoft Access and every other Jet program keep beside a database
// while they have it open ("dbR.mdb" -> "dbR.ldb"), when one is held; empty otherwise.
// Writing pages under a program that has the file open would damage it. The lock file
// lies beside the file itself, so a path through a symbolic link is looked at resolved too;
// written on Windows, its name may be in any letter case ("DBR.LDB").
QString heldJetLockFile(const QString &databasePath);
