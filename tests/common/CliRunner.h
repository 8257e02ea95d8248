#pragma once
// Runs orvik-cli as a real process. The executable is copied into a directory of the
// test's own, so that the config.ini and language files it reads are the test's.

#include "TestPaths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

struct CliResult
{
    int exitCode = -1; // -1: ended by a signal; -2: still running after the time allowed, then killed
    QByteArray out;
    QByteArray err;
    QList<QByteArray> lines() const
    {
        QList<QByteArray> l = out.split('\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
};

class CliRunner
{
public:
    // Installs orvik-cli (and the language files) into `programDir`.
    explicit CliRunner(const QString &programDir) : m_program(programDir + "/orvik-cli" ORVIK_EXE)
    {
        QFile::copy(QStringLiteral(ORVIK_BIN_DIR "/orvik-cli" ORVIK_EXE), m_program);
        QDir().mkpath(programDir + "/language");
        const QDir languages(QStringLiteral(ORVIK_LANGUAGE_DIR));
        for (const QString &f : languages.entryList({"*.xml"}, QDir::Files))
            QFile::copy(languages.filePath(f), programDir + "/language/" + f);
    }

    CliResult run(const QStringList &args, const QByteArray &input = QByteArray(), const QStringList &extraEnv = {},
                  int timeoutMs = 120000) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &kv : extraEnv)
            env.insert(kv.section('=', 0, 0), kv.section('=', 1));
        p.setProcessEnvironment(env);
        p.start(m_program, args);
        p.waitForStarted();
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        const bool ended = p.waitForFinished(timeoutMs);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        CliResult r;
        r.exitCode = !ended ? -2 : p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

    QString program() const { return m_program; }

private:
    QString m_program;
};
