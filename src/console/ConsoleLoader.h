#pragma once

#include "console/ExitStatus.h"
#include "language/InterpreterHost.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

class TErrorReport;
class TTestTree;

// Loads a definition for the headless runner as the desktop program does: the previous
// definition's devices, variables and value log are released, the file is read, preprocessed and
// interpreted into the tree. Load errors are listed as "file:line: error: message" so that editors
// and CI systems can jump to them.
class TConsoleLoader : public IInterpreterHost
{
public:
    TConsoleLoader(TErrorReport& aReport, bool bSkipErrors);

    ELoadOutcome Load(const QString& sFile, TTestTree& aTree, QTextStream& aErr);

    const QString& FileLabel() const { return fsLabel; }
    const QString& FileVersion() const { return fsVersion; }
    // The warnings of the last load (the preprocessor's and the definition check's), listed as
    // "file:line: warning: text".
    int WarningCount() const { return fiWarnings; }
    // Lines a load under "Skip Errors" could not take, placeholders of undeclared devices included.
    int SkippedLines() const { return fiSkipped; }

    // "Error: /path/a.TZD, 12: text" items of the load information as "path:12: error: text".
    static QStringList CompilerStyle(const QString& sLoadInfos);

    bool SkipErrors() const override { return fbSkipErrors; }
    void SetFileInfo(const QString& sLabel, const QString& sVersion) override;
    // Key assignments belong to the desktop program's actions: headless only their captions are
    // checked.
    bool AssignKey(int iKeyCode, const QString& sCaption) override;
    void SetDefaultDocument(const QString& sFileName) override;
    TErrorReport* ErrorReport() override { return &fReport; }

private:
    TErrorReport& fReport;
    bool fbSkipErrors;
    QString fsLabel;
    QString fsVersion;
    int fiWarnings = 0;
    int fiSkipped = 0;
};
