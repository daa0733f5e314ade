#include "TestEnvironment.h"

#include <csignal>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <stdexcept>

TTestDir::TTestDir()
{
    if (!fDir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString TTestDir::Write(const QString& sName, const QByteArray& aContent) const
{
    const QString sPath = FilePath(sName);
    QDir().mkpath(QFileInfo(sPath).absolutePath());
    QFile file(sPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(aContent) != aContent.size())
        throw std::runtime_error("cannot write " + sPath.toStdString());
    return sPath;
}

QString TTestDir::WriteText(const QString& sName, const QString& sContent) const
{
    return Write(sName, sContent.toUtf8());
}

QByteArray ReadFileBytes(const QString& sPath)
{
    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool RunEventsUntil(const std::function<bool()>& aDone, int iTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!aDone()) {
        if (timer.elapsed() > iTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

EMsg RaisedMsg(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EMsg& e) {
        return e;
    }
    ADD_FAILURE() << "no EMsg raised";
    return EMsg(TMsgId(0), 0);
}

QString RaisedText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return ExceptionText(e);
    }
    ADD_FAILURE() << "no exception raised";
    return QString();
}

bool LogHas(const TMsgLog& aLog, const QString& sText)
{
    for (const TLogLine& line : aLog.Lines()) {
        if (line.sText.endsWith(sText))
            return true;
    }
    return false;
}

void EndWithTestProgram(QProcess& aProcess)
{
    aProcess.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}
