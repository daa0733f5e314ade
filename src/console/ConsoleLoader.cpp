#include "ConsoleLoader.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/RegIO.h"
#include "core/ValueLog.h"
#include "core/VariableManager.h"
#include "execution/ActionCaptions.h"
#include "execution/DeviceList.h"
#include "execution/Job.h"
#include "execution/TestTree.h"
#include "language/DefFileInterpreter.h"
#include "reporting/ErrorReport.h"

#include <QFileInfo>
#include <QRegularExpression>

TConsoleLoader::TConsoleLoader(TErrorReport& aReport, bool bSkipErrors)
    : fReport(aReport), fbSkipErrors(bSkipErrors)
{}

void TConsoleLoader::SetFileInfo(const QString& sLabel, const QString& sVersion)
{
    fsLabel = sLabel;
    fsVersion = sVersion;
    fReport.SetFileInfo(sLabel);
    fReport.SetFileVersion(sVersion);
}

bool TConsoleLoader::AssignKey(int iKeyCode, const QString& sCaption)
{
    // Without a window the key has nothing to trigger, but a caption the desktop program refuses
    // is refused here too.
    if (!IsMainActionCaption(sCaption))
        return false;
    TMsg::Debug(QStringLiteral("Key %d assigned to \"%s\""), {iKeyCode, sCaption});
    return true;
}

void TConsoleLoader::SetDefaultDocument(const QString& sFileName)
{
    TMsg::Debug(QStringLiteral("Default test document: ") + sFileName);
}

QStringList TConsoleLoader::CompilerStyle(const QString& sLoadInfos)
{
    static const QRegularExpression item(QStringLiteral("^(Error|Warning): (.*?), (\\d+): (.*)$"));
    QStringList lines;
    for (const QString& sItem : sLoadInfos.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = item.match(sItem);
        if (m.hasMatch())
            lines.append(QStringLiteral("%1:%2: %3: %4")
                             .arg(m.captured(2), m.captured(3), m.captured(1).toLower(), m.captured(4)));
        else
            lines.append(sItem);
    }
    return lines;
}

ELoadOutcome TConsoleLoader::Load(const QString& sFile, TTestTree& aTree, QTextStream& aErr)
{
    aTree.Clear();
    fiWarnings = 0;
    TDeviceList::InstanceRelease();
    TVariableManager::InstanceRelease();
    TValueLog::InstanceRelease();
    fReport.Clear();

    const QString sPath = QFileInfo(sFile).absoluteFilePath();
    if (!QFileInfo(sPath).isFile()) {
        aErr << QStringLiteral("%1: error: definition file not found").arg(sFile) << Qt::endl;
        return loErrors;
    }
    // The "TZD:" prefix of file names refers to the definition being loaded.
    TRegIO::Instance().SetLastFile(sPath);
    TInterpreter interpreter(*this);
    TInterpreterResult eResult = irError;
    try {
        interpreter.FileLoad(sPath);
        eResult = interpreter.LoadDefinition(aTree);
    } catch (const EOperationCancelled& e) {
        TMsg::Debug(e.Message());
        return loCancelled;
    } catch (const std::exception& e) {
        TMsg::Error(ExceptionText(e));
        aErr << QStringLiteral("%1: error: %2")
                    .arg(sPath, ExceptionText(e).split(QStringLiteral("\r\n")).join(' '))
             << Qt::endl;
        return loErrors;
    }
    QString sInfos = interpreter.LastErrors();
    for (const QString& sWarning : interpreter.DirectiveWarnings())
        sInfos += QStringLiteral("\r\nWarning: ") + sWarning;
    for (const QString& sLine : CompilerStyle(sInfos + interpreter.CheckWarnings()))
        aErr << sLine << Qt::endl;
    fiWarnings = int(interpreter.DirectiveWarnings().size()) + interpreter.CheckWarningCount();
    fiSkipped = interpreter.SkippedLines() + TJob::DummyNodes(aTree);
    if (eResult == irCancelled)
        return loCancelled;
    if (eResult == irSuccess) {
        fReport.SetFileName(sPath);
        return loLoaded;
    }
    // With "Skip Errors" a load that met errors can still be run.
    if (fbSkipErrors && !aTree.Empty()) {
        fReport.SetFileName(sPath);
        return loLoaded;
    }
    return loErrors;
}
