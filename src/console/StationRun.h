#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>

class QTextStream;
class TConsoleStatusLine;
class TDeviceTypes;
class TInterruptHandler;
class TMsgLog;
class TResultDatabase;
struct TRunOptions;

// Runs one definition on the station's sockets side by side (tzk-run --sockets N, N > 1): every
// socket loads its own copy into a session of its own and all start together; a socket's failure,
// silent unit or failing command ends that socket's run alone, Ctrl+C stops every socket (each
// still runs its final cases). Every line a socket prints starts with "[k] "; the end prints each
// socket's outcome and "Sockets: 3 passed, 1 failed". Returns ciExitOk only when every socket
// passed, ciExitFailed when one failed or could not be loaded. Without an answers file and with a
// terminal on iInputFd, the sockets' dialogs ask there one after the other (TTerminalQuestions).
int RunStation(const TRunOptions& aOptions, const TDeviceTypes& aTypes, TMsgLog& aLog, QTextStream& aOut,
               QTextStream& aErr, TConsoleStatusLine* aStatus, TInterruptHandler& aInterrupt,
               TResultDatabase* aResults, int iInputFd);

// The answers of socket iSocket from an answers file of a station: the lines before the first
// "socket: k" line are every socket's, then the lines of its own section ("socket: k" up to the
// next such line). Lines of other sections become blank, so that answers keep their line numbers.
QString SocketAnswersText(const QString& sText, int iSocket);

// Writes every line to aOut with sPrefix in front ("[2] "): a socket's own output.
class TPrefixedOutput : public QIODevice
{
    Q_OBJECT

public:
    TPrefixedOutput(QTextStream& aOut, const QString& sPrefix, QObject* aParent = nullptr);

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* pData, qint64 iMaxSize) override;
    qint64 writeData(const char* pData, qint64 iSize) override;

private:
    QTextStream& fOut;
    QString fsPrefix;
    bool fbAtLineStart = true;
};
