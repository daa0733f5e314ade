#include "ConsoleLoader.h"

#include "core/MsgClasses.h"
#include "execution/ActionCaptions.h"
#include "language/Session.h"
#include "reporting/ErrorReport.h"

#include <QFileInfo>
#include <QRegularExpression>

TConsoleLoader::TConsoleLoader(TSession& aSession, bool bSkipErrors)
    : fSession(aSession), fbSkipErrors(bSkipErrors)
{}

TErrorReport* TConsoleLoader::ErrorReport()
{
    return &fSession.ErrorReport();
}

void TConsoleLoader::SetFileInfo(const QString& sLabel, const QString& sVersion)
{
    fsLabel = sLabel;
    fsVersion = sVersion;
    fSession.ErrorReport().SetFileInfo(sLabel);
    fSession.ErrorReport().SetFileVersion(sVersion);
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

TLoadReport TConsoleLoader::Load(const QString& sFile, QTextStream& aErr)
{
    fsLabel.clear();
    fsVersion.clear();
    const TLoadReport report = fSession.Load(sFile, *this);
    if (!report.sFailure.isEmpty()) {
        // The path as given when the file is missing, the full one when it could not be read.
        const bool bMissing = !QFileInfo(report.sFile).isFile();
        if (!bMissing && !fbCheckOnly)
            TMsg::Error(report.sFailure);
        aErr << QStringLiteral("%1: error: %2")
                    .arg(bMissing ? sFile : report.sFile,
                         report.sFailure.split(QStringLiteral("\r\n")).join(' '))
             << Qt::endl;
    }
    for (const QString& sLine : CompilerStyle(report.sLoadInfos))
        aErr << sLine << Qt::endl;
    return report;
}
