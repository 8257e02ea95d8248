// libFuzzer target for the Jet file reader: each input is a whole .mdb file. It is written
// over one temporary file per process and read the way Orvik's commands read a database,
// by the engine directly and through a read-only JetConnection (see
// orvikfuzz::exerciseJetFile).

#include "FuzzTargets.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

QString inputPath;

void removeInput()
{
    QFile::remove(inputPath);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    inputPath = QDir::tempPath() + QStringLiteral("/orvik-fuzz-jet-%1.mdb").arg(::getpid());
    std::atexit(removeInput);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!TestFiles::overwrite(inputPath, bytes))
        std::abort(); // /tmp is full or gone: no result would mean anything
    const orvikfuzz::Outcome outcome = orvikfuzz::exerciseJetFile(inputPath, orvikfuzz::codePageFor(bytes));
    if (outcome.deleteAccepted) {
        std::fprintf(stderr, "fuzz_jetfile: a DELETE ran on a read-only connection\n");
        std::abort();
    }
    volatile std::uint64_t sink = outcome.sum;
    (void)sink;
    return 0;
}
