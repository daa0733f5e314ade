#pragma once

#include "execution/RunnerHost.h"
#include "reporting/ErrorReport.h"

class QTextStream;
class TOperatorAnswers;

// The error report on the console: prints the failed test function and its error, takes the
// "Stop Test Process" box from the answers (not ticked without one), then whether to print the
// report (not without an answer yes or ok).
class TConsoleErrorReportView : public IErrorReportView
{
public:
    TConsoleErrorReportView(TOperatorAnswers& aAnswers, QTextStream& aOut);

    void ShowReport(TErrorReport& aReport) override;

private:
    TOperatorAnswers& fAnswers;
    QTextStream& fOut;
};
