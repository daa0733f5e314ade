#include "ConsoleLogPrinter.h"

#include "core/MsgLog.h"

#include <QTextStream>

TConsoleLogPrinter::TConsoleLogPrinter(TMsgLog& aLog, QTextStream& aOut, QObject* aParent)
    : QObject(aParent), fLog(aLog), fOut(aOut)
{
    connect(&fLog, &TMsgLog::LinesAdded, this, &TConsoleLogPrinter::Print);
}

void TConsoleLogPrinter::SetLevels(bool bTrace, bool bDebug)
{
    fLog.SetShowTrace(bTrace);
    fLog.SetShowDebug(bDebug);
}

void TConsoleLogPrinter::Print(int iFirst, int iCount)
{
    for (int i = iFirst; i < iFirst + iCount; ++i) {
        const QString& sText = fLog.Lines().at(std::size_t(i)).sText;
        // A separator before anything else would only start the output with a blank line.
        if (sText.isEmpty() && !fbPrinted)
            continue;
        fOut << sText << '\n';
        fbPrinted = true;
    }
    // Lines appear as they happen, also when stdout is a pipe.
    fOut.flush();
}
