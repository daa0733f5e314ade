#include "ErrorReport.h"

#include "RtfText.h"
#include "WinPrintersOnline.h"

#include "core/CommaSeparatedValue.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/MsgUtils.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/Job.h"

#include <QFileInfo>

TErrorReport::TErrorReport() : fPrinterNames([] { return TWinPrintersOnline::InstalledPrinters(); }) {}

bool TErrorReport::PrinterInstalled(const QString& sName) const
{
    return fPrinterNames().contains(sName, Qt::CaseInsensitive);
}

void TErrorReport::Init(const QString& sParameter)
{
    FbInitialized = false;
    TCommaSeparatedValue csv;
    csv.SetStringLine(sParameter + csv.Separator());

    fsTemplateFile = ResolveFileName(csv.GetString(1), true);
    if (!QFileInfo(fsTemplateFile).isFile())
        throw EMsg(QStringLiteral("Error label template file not found: %s"), {fsTemplateFile},
                   TMsgId(0x0B110A), 0);

    fsPrinterName = csv.GetString(2);
    if (!PrinterInstalled(fsPrinterName))
        throw EMsg(QStringLiteral("Printer \"%s\" not found!"), {fsPrinterName}, TMsgId(0x0B1114), 0);

    const QString sOrientation = csv.GetValueTrimmed(3);
    const std::optional<TPrinterOrientation> orientation = PrinterOrientation(sOrientation);
    if (!orientation)
        throw EMsg(QStringLiteral("Unknown printer orientation \"%s\"!"), {sOrientation}, TMsgId(0x0B111E),
                   0);
    fPrintOrientation = *orientation;

    fPrintMarginLeft = csv.GetFloat(4);
    fPrintMarginTop = csv.GetFloat(5);
    fPrintMarginRight = csv.GetFloat(6);
    fPrintMarginBottom = csv.GetFloat(7);
    FbInitialized = true;
}

void TErrorReport::Clear()
{
    FbInitialized = false;
    fbReadyForNewError = true;
    fsTemplateFile.clear();
    fsPrinterName.clear();
    FsFileName.clear();
    FsFileInfo.clear();
    FsFileVersion.clear();
    FsOperatorName.clear();
    FsTestFunction.clear();
    FsErrorText.clear();
    fsRemark.clear();
}

void TErrorReport::SetActive(bool bActive)
{
    FbActive = bActive;
    if (bActive) {
        FsTestFunction.clear();
        FsErrorText.clear();
        fbReadyForNewError = true;
    }
}

void TErrorReport::SetFailedJob(const TJob& aJob)
{
    if (!FbInitialized || !FbActive || !aJob.Cmd())
        return;
    const QString sError = aJob.ErrorText();
    if (sError.isEmpty())
        return;
    if (!fbReadyForNewError) {
        TMsg::Warning(QStringLiteral("Pending error report ignores new error: \"%s\": \"%s\""),
                      {aJob.GetName(), sError});
        return;
    }
    FsTestFunction = aJob.GetName();
    FsErrorText = sError;
    fbReadyForNewError = false;
}

void TErrorReport::ShowQueuedError(const QString& aOperatorName)
{
    fbStopTestProcess = false;
    if (!Pending())
        return;
    FsOperatorName = aOperatorName;
    fsRemark.clear();
    if (fView)
        fView->ShowReport(*this);
    fbReadyForNewError = true;
}

void TErrorReport::ShowLastReport()
{
    if (fView)
        fView->ShowReport(*this);
}

QString TErrorReport::ReplaceReportFields(const QString& sTemplate) const
{
    // Escaping a path doubles its backslashes, so it prints with them visible.
    QString sRemark = RtfEscapeValue(fsRemark);
    sRemark.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    sRemark.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    sRemark.replace(QLatin1Char('\n'), QLatin1String("\\par "));
    const std::pair<const char*, QString> fields[] = {
        {"%FILEINFO", RtfEscapeValue(FsFileInfo)},
        {"%FILENAME", RtfEscapeValue(FsFileName)},
        {"%FILEVERSION", RtfEscapeValue(FsFileVersion)},
        {"%OPERATOR", RtfEscapeValue(FsOperatorName)},
        {"%FUNCTION", RtfEscapeValue(FsTestFunction)},
        {"%ERRORTEXT", RtfEscapeValue(FsErrorText)},
        {"%REMARK", sRemark},
    };
    QString sText = sTemplate;
    for (const auto& field : fields)
        sText.replace(QLatin1String(field.first), field.second);
    return sText;
}

QString TErrorReport::FillTemplate(const QString& sTemplate, const QDateTime& dtWhen) const
{
    const QString sText = InsertDateTimeTags(ReplaceReportFields(sTemplate), dtWhen);
    const TVariableManager& variables = fpVariables ? *fpVariables : TVariableManager::Instance();
    return variables.InsertValues(sText, RtfEscapeValue);
}

void TErrorReport::Print()
{
    TRichEditPaper paper;
    if (!PrinterInstalled(fsPrinterName) || !paper.SelectPrinter(fsPrinterName))
        throw EMsg(QStringLiteral("Printer \"%s\" not found!"), {fsPrinterName}, TMsgId(0x0B210A), 0);
    PrintReport(paper);
}

void TErrorReport::PrintReport(TRichEditPaper& aPaper) const
{
    const QByteArray aTemplate =
        ReadTemplateFile(fsTemplateFile, QStringLiteral("error label template file"));

    aPaper.SetOrientation(fPrintOrientation);
    aPaper.SetMarginLeft(float(fPrintMarginLeft));
    aPaper.SetMarginTop(float(fPrintMarginTop));
    aPaper.SetMarginRight(float(fPrintMarginRight));
    aPaper.SetMarginBottom(float(fPrintMarginBottom));
    aPaper.Print(QStringLiteral("TZK Error Report"),
                 FillTemplate(AnsiToString(aTemplate), QDateTime::currentDateTime()));
}
