#pragma once

#include "console/ExitStatus.h"
#include "language/InterpreterHost.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

class TSession;

// The headless runner's side of a load: loads a definition into the session as the desktop
// program does and lists load errors as "file:line: error: message" so that editors and CI systems
// can jump to them.
class TConsoleLoader : public IInterpreterHost
{
public:
    TConsoleLoader(TSession& aSession, bool bSkipErrors);

    TLoadReport Load(const QString& sFile, QTextStream& aErr);

    const QString& FileLabel() const { return fsLabel; }
    const QString& FileVersion() const { return fsVersion; }

    // "Error: /path/a.TZD, 12: text" items of the load information as "path:12: error: text".
    static QStringList CompilerStyle(const QString& sLoadInfos);

    bool SkipErrors() const override { return fbSkipErrors; }
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override;
    // Key assignments belong to the desktop program's actions: headless only their captions are
    // checked.
    bool AssignKey(int iKeyCode, const QString& sCaption) override;
    void SetDefaultDocument(const QString& sFileName) override;
    TErrorReport* ErrorReport() override;
    // A definition check lists each error and warning once, as "file:line:" on the error stream:
    // the log does not repeat them.
    void SetCheckOnly(bool bCheckOnly) { fbCheckOnly = bCheckOnly; }
    bool LogsLoadSummaries() const override { return !fbCheckOnly; }

private:
    TSession& fSession;
    bool fbSkipErrors;
    bool fbCheckOnly = false;
    QString fsLabel;
    QString fsVersion;
};
