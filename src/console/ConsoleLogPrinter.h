#pragma once

#include <QObject>

class QTextStream;
class TMsgLog;

// Prints every line the message log adds, exactly as the log shows it (time stamp, prefix, text,
// "> " continuation lines, the empty separator line, though not as the very first line).
class TConsoleLogPrinter : public QObject
{
    Q_OBJECT

public:
    TConsoleLogPrinter(TMsgLog& aLog, QTextStream& aOut, QObject* aParent = nullptr);

    // --trace and --debug: the log shows trace and debug lines.
    void SetLevels(bool bTrace, bool bDebug);

private:
    void Print(int iFirst, int iCount);

    TMsgLog& fLog;
    QTextStream& fOut;
    bool fbPrinted = false;
};
