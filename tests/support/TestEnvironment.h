#pragma once

#include "core/MsgExceptions.h"
#include "core/MsgLog.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

// A temporary folder for one test, removed with it.
class TTestDir
{
public:
    TTestDir();

    QString Path() const { return fDir.path(); }
    QString FilePath(const QString& sName) const { return fDir.filePath(sName); }

    // Writes aContent to sName (folders created as needed) and returns the full path.
    QString Write(const QString& sName, const QByteArray& aContent) const;
    QString WriteText(const QString& sName, const QString& sContent) const;

private:
    QTemporaryDir fDir;
};

// Runs the event loop until aDone holds; false when it did not within iTimeoutMs, so that a
// test fails instead of hanging.
bool RunEventsUntil(const std::function<bool()>& aDone, int iTimeoutMs = 5000);

// Runs f and returns the EMsg it raises; fails the test when it raises nothing.
EMsg RaisedMsg(const std::function<void()>& f);

// Runs f and returns the text of the exception it raises; fails the test when it raises none.
QString RaisedText(const std::function<void()>& f);

// Whether a line of the log ends with sText.
bool LogHas(const TMsgLog& aLog, const QString& sText);

// Makes the process that aProcess starts end with the test program, however that ends (a crash,
// a time-out's SIGKILL): a test's server must not outlive it holding ports or inherited files.
void EndWithTestProgram(QProcess& aProcess);

// Reads a whole file; empty when it cannot be read.
QByteArray ReadFileBytes(const QString& sPath);
