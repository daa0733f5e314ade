#include "ConsoleErrorReport.h"

#include "OperatorAnswers.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <QRegularExpression>
#include <QTextStream>

namespace {

// A text of several lines continues with "> " lines, as in the message log.
QString ConsoleLines(const QString& sText)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return sText.split(lineBreak).join(QStringLiteral("\n> "));
}

} // namespace

TConsoleErrorReportView::TConsoleErrorReportView(TOperatorAnswers& aAnswers, QTextStream& aOut)
    : fAnswers(aAnswers), fOut(aOut)
{}

void TConsoleErrorReportView::ShowReport(TErrorReport& aReport)
{
    fOut << QStringLiteral("Error Report") << '\n';
    fOut << QStringLiteral("Test Function: ") << ConsoleLines(aReport.TestFunction()) << '\n';
    fOut << QStringLiteral("Error: ") << ConsoleLines(aReport.ErrorText()) << '\n';
    if (!aReport.OperatorName().isEmpty())
        fOut << QStringLiteral("Operator: ") << aReport.OperatorName() << '\n';
    fOut.flush();
    const bool bStop = fAnswers.AskStopBox(QStringLiteral("Stop Test Process")).value_or(false);
    if (bStop)
        fOut << QStringLiteral("Stop Test Process") << Qt::endl;
    aReport.SetExitAfterFailure(bStop);

    // The dialog's Print button; an unattended run prints only when its answers say so.
    const std::optional<EAnswerButton> print =
        fAnswers.AskButton(QStringLiteral("Print the error report"), {abYes, abOk, abNo, abCancel});
    if (print != abYes && print != abOk)
        return;
    if (aReport.OperatorName().isEmpty()) {
        TMsg::Error(QStringLiteral("The error report is not printed without an operator name"));
        return;
    }
    try {
        aReport.Print();
        fOut << QStringLiteral("Error report printed on \"") << aReport.PrinterName() << '"' << Qt::endl;
    } catch (const std::exception& e) {
        TMsg::Error(ExceptionText(e));
    }
}
