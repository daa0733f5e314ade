#pragma once

#include "execution/RunnerHost.h"
#include "reporting/ErrorReport.h"

class QTextStream;
class TOperatorAnswers;

// The error report on the console: prints the failed test function and its error, and takes the
// "Stop Test Process" box from the answers (not ticked without one). Printing the report is left
// to the desktop program.
class TConsoleErrorReportView : public IErrorReportView
{
public:
    TConsoleErrorReportView(TOperatorAnswers& aAnswers, QTextStream& aOut);

    void ShowReport(TErrorReport& aReport) override;

private:
    TOperatorAnswers& fAnswers;
    QTextStream& fOut;
};
