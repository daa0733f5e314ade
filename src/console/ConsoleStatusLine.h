#pragma once

#include <QElapsedTimer>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class TProcessRunner;
class TRunSummary;

// The live status line of a run at a terminal: the current test case and step, the step counts
// so far and the elapsed time, kept in place below the output. Everything the program writes to
// the terminal goes through a TTerminalDevice, which takes the line away first; the line comes
// back once the output has ended a line, so it never splits a log line or a question.
class TConsoleStatusLine : public QObject
{
    Q_OBJECT

public:
    // iFd: the terminal the line is drawn on.
    explicit TConsoleStatusLine(int iFd, QObject* aParent = nullptr);
    ~TConsoleStatusLine() override;

    // Follows the runner's steps until Detach (or until the runner is gone).
    void Attach(TProcessRunner& aRunner, const TRunSummary& aSummary);
    // Shows aText's text after the elapsed time until Detach, redrawn every second and at every
    // Refresh (a station's sockets: "1:Pass 2:2.3 Measure 3:waits Meter 4:Fail").
    void AttachText(std::function<QString()> aText);
    void Refresh() { Draw(); }
    void Detach();
    // A question waits at the terminal (sPrompt, just written, "[2] Check: LED on? [yes/no]: "):
    // it keeps the last line instead of the status line, and when other output comes it is taken
    // away first and written again below that output.
    void SetQuestion(const QString& sPrompt);
    // The question has gone; bAtLineStart: its answer's line break ended its line.
    void QuestionGone(bool bAtLineStart);

    // The text the line shows now; empty while no run is going on.
    QString Text() const;

    // For TTerminalDevice: around every write to the terminal.
    void BeforeOutput();
    void AfterOutput(bool bAtLineStart);

private:
    void NodeStarted();
    void Stopped();
    void SetSuspended(bool bSuspended);
    void Draw();
    void Erase();
    void WriteRaw(const QByteArray& aBytes) const;
    int Width() const;

    int fiFd;
    QPointer<TProcessRunner> fRunner;
    const TRunSummary* fSummary = nullptr;
    std::function<QString()> fText;
    QString fsCase;
    QString fsStep;
    QElapsedTimer fElapsed;
    QTimer fTimer;
    bool fbActive = false;
    bool fbSuspended = false; // a command waits for a key: its question has the terminal
    bool fbShown = false;
    bool fbAtLineStart = true;
    QString fsQuestion;
    bool fbQuestionShown = false;
};

// A write-only device for a terminal file descriptor that keeps the status line out of the way.
class TTerminalDevice : public QIODevice
{
    Q_OBJECT

public:
    TTerminalDevice(int iFd, TConsoleStatusLine& aStatus, QObject* aParent = nullptr);

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* pData, qint64 iMaxSize) override;
    qint64 writeData(const char* pData, qint64 iSize) override;

private:
    int fiFd;
    TConsoleStatusLine& fStatus;
};
