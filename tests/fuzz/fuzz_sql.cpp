// libFuzzer target for the SQL subset: each input is one statement in UTF-8. It is parsed,
// bound to the call-record columns, evaluated on rows held in memory, and run through a
// JetConnection on a copy of a sample backup opened read-only and exclusive (so a DELETE
// must be refused and the copy never changes). See orvikfuzz::exerciseStatement.

#include "FuzzTargets.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

QString dbPath;
JetConnection *connection = nullptr;

void cleanUp()
{
    delete connection;
    connection = nullptr;
    QFile::remove(dbPath);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    dbPath = QDir::tempPath() + QStringLiteral("/orvik-fuzz-sql-%1.mdb").arg(::getpid());
    QFile::remove(dbPath);
    if (!QFile::copy(QStringLiteral(ORVIK_FUZZ_SAMPLE_DB), dbPath)) {
        std::fprintf(stderr, "fuzz_sql: cannot copy %s\n", ORVIK_FUZZ_SAMPLE_DB);
        std::abort();
    }
    connection = new JetConnection;
    sql::SqlError error;
    if (!connection->open(dbPath, QString(), JetConnection::Mode::ReadOnlyExclusive, &error)) {
        std::fprintf(stderr, "fuzz_sql: cannot open the copy: %s\n", qPrintable(error.message));
        std::abort();
    }
    std::atexit(cleanUp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const orvikfuzz::Outcome outcome = orvikfuzz::exerciseStatement(text, connection);
    if (outcome.deleteAccepted) {
        std::fprintf(stderr, "fuzz_sql: a DELETE ran on a read-only connection\n");
        std::abort();
    }
    volatile std::uint64_t sink = outcome.sum;
    (void)sink;
    return 0;
}
