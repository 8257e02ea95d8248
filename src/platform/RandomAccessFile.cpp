#include "platform/RandomAccessFile.h"

bool RandomAccessFile::readFailed(QString *error, std::uint64_t offset, const QString &why)
{
    if (error)
        *error = QStringLiteral("read error at offset %1: %2").arg(offset).arg(why);
    return false;
}

bool RandomAccessFile::endOfFile(QString *error, std::uint64_t offset)
{
    if (error)
        *error = QStringLiteral("unexpected end of file at offset %1 (the file got shorter)").arg(offset);
    return false;
}

bool RandomAccessFile::nothingWritten(QString *error, std::uint64_t offset)
{
    if (error)
        *error = QStringLiteral("write error at offset %1: nothing was written").arg(offset);
    return false;
}
