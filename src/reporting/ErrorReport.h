#pragma once

#include "RichEditPaper.h"

#include "execution/RunnerHost.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class TJob;
class TErrorReport;
class TVariableManager;

// Shows the error report to the operator, modally. The view fills OperatorName, Remark and
// ExitAfterFailure from its controls before it returns.
class IErrorReportView
{
public:
    virtual ~IErrorReportView() = default;
    virtual void ShowReport(TErrorReport& aReport) = 0;
};

// The error report without its dialog: holds one failure as a pending report, shows it to the
// operator through the view, and carries the fields a printed report is filled with.
class TErrorReport : public IFailureReport
{
public:
    // The variables the report's template inserts: its session's (a report alone uses the
    // process's own).
    void SetVariables(const TVariableManager* aVariables) { fpVariables = aVariables; }
    using TPrinterNames = std::function<QStringList()>;

    TErrorReport();

    // Configures the report from "ErrorReport; template; printer; orientation; l; t; r; b".
    void Init(const QString& sParameter);
    void Clear();
    void ClearRemark() { fsRemark.clear(); }
    void SetFailedJob(const TJob& aJob) override;
    void ShowQueuedError(const QString& aOperatorName) override;
    // Shows the last report as it stands ("Show Last Error Report").
    void ShowLastReport();

    bool Initialized() const { return FbInitialized; }
    bool Active() const { return FbActive; }
    void SetActive(bool bActive);
    bool Pending() const { return FbInitialized && FbActive && !fbReadyForNewError; }

    const QString& TemplateFile() const { return fsTemplateFile; }
    const QString& PrinterName() const { return fsPrinterName; }
    TPrinterOrientation PrintOrientation() const { return fPrintOrientation; }
    double PrintMarginLeft() const { return fPrintMarginLeft; }
    double PrintMarginTop() const { return fPrintMarginTop; }
    double PrintMarginRight() const { return fPrintMarginRight; }
    double PrintMarginBottom() const { return fPrintMarginBottom; }

    const QString& FileName() const { return FsFileName; }
    void SetFileName(const QString& s) { FsFileName = s; }
    const QString& FileInfo() const { return FsFileInfo; }
    void SetFileInfo(const QString& s) { FsFileInfo = s; }
    const QString& FileVersion() const { return FsFileVersion; }
    void SetFileVersion(const QString& s) { FsFileVersion = s; }
    const QString& OperatorName() const { return FsOperatorName; }
    void SetOperatorName(const QString& s) { FsOperatorName = s; }
    const QString& TestFunction() const { return FsTestFunction; }
    void SetTestFunction(const QString& s) { FsTestFunction = s; }
    const QString& ErrorText() const { return FsErrorText; }
    void SetErrorText(const QString& s) { FsErrorText = s; }
    const QString& Remark() const { return fsRemark; }
    void SetRemark(const QString& s) { fsRemark = s; }
    bool ExitAfterFailure() const override { return fbStopTestProcess; }
    void SetExitAfterFailure(bool b) { fbStopTestProcess = b; }

    // The template with the report fields replaced, in their fixed order. Every value is
    // escaped for RTF, so that it prints as written; remark lines become paragraphs.
    QString ReplaceReportFields(const QString& sTemplate) const;
    // The report fields, then the date and time tags of dtWhen, then the variables.
    QString FillTemplate(const QString& sTemplate, const QDateTime& dtWhen) const;
    // The Print button: prints the report on its printer (raises EMsg 0B210A when the printer
    // is gone, the template's and the printing system's errors otherwise).
    void Print();
    // Prints the filled template on aPaper with the report's orientation and margins; the
    // caller has chosen the printer (or a file).
    void PrintReport(TRichEditPaper& aPaper) const;

    void SetView(IErrorReportView* aView) { fView = aView; }
    // The names of the installed printers (the printing system's by default).
    void SetPrinterNames(TPrinterNames aNames) { fPrinterNames = std::move(aNames); }
    bool PrinterInstalled(const QString& sName) const;

private:
    const TVariableManager* fpVariables = nullptr;
    QString fsTemplateFile;
    QString fsPrinterName;
    TPrinterOrientation fPrintOrientation = poPortrait;
    double fPrintMarginLeft = 0.0;
    double fPrintMarginTop = 0.0;
    double fPrintMarginRight = 0.0;
    double fPrintMarginBottom = 0.0;
    bool FbInitialized = false;
    bool FbActive = true;
    bool fbReadyForNewError = true;
    QString FsFileName;
    QString FsFileInfo;
    QString FsFileVersion;
    QString FsOperatorName;
    QString FsTestFunction;
    QString FsErrorText;
    QString fsRemark;
    bool fbStopTestProcess = false;

    IErrorReportView* fView = nullptr;
    TPrinterNames fPrinterNames;
};
