#pragma once

#include "OperatorAnswers.h"
#include "execution/OperatorDialogs.h"

#include <QByteArray>
#include <QObject>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QSocketNotifier;
class QTextStream;

// The operator's questions of a station's sockets at one terminal. Questions wait in one queue in
// the order they come; the first is printed with its socket's "[k] " and answered by the next
// line typed, read when the input is readable, so that the event loop (and every other socket)
// runs on meanwhile. A line that is no answer asks again, as a single socket's terminal does.
class TTerminalQuestions : public QObject
{
    Q_OBJECT

public:
    using TAnswered = std::function<void(std::optional<TOperatorAnswer>)>;

    // Answers are read from iInputFd, questions printed to aPrompt.
    TTerminalQuestions(int iInputFd, QTextStream& aPrompt, QObject* aParent = nullptr);
    ~TTerminalQuestions() override;

    TTerminalQuestions(const TTerminalQuestions&) = delete;
    TTerminalQuestions& operator=(const TTerminalQuestions&) = delete;

    // Queues a question of socket iSocket; aAnswered gets the answer once, on the main thread, or
    // none for an empty line at a button (its default), the input's end, a withdrawal or Ctrl+C.
    void Ask(int iSocket, const QString& sQuestion, EAnswerKind eKind,
             const std::vector<EAnswerButton>& aAllowed, TAnswered aAnswered);
    // Ends the oldest question of socket iSocket without an answer; false when it had none.
    bool Withdraw(int iSocket);
    // Ctrl+C: every question that waits ends without an answer.
    void Interrupt();
    // aShown hears of the prompt as printed once a question is on the terminal, aGone once it has
    // left (true when a typed line ended its line), so that the terminal's other output can keep
    // it in view.
    void SetTerminalHooks(std::function<void(const QString&)> aShown, std::function<void(bool)> aGone)
    {
        fShown = std::move(aShown);
        fGone = std::move(aGone);
    }

private:
    struct TQuestion
    {
        int iSocket = 0;
        QString sQuestion;
        EAnswerKind eKind = akText;
        std::vector<EAnswerButton> allowed;
        TAnswered answered;
    };

    void Pump();
    void Prompt(const TQuestion& aQuestion);
    void Gone(bool bAtLineStart);
    void Readable();
    // Takes the questions that match out of the queue and ends them without an answer.
    bool EndQuestions(const std::function<bool(const TQuestion&)>& aWhich);
    std::optional<QByteArray> TakeLine();

    int fiInputFd;
    QTextStream& fPrompt;
    QSocketNotifier* fNotifier = nullptr;
    std::deque<TQuestion> fQueue;
    bool fbShown = false; // the queue's first question is on the terminal
    QByteArray faInput;
    bool fbInputEnded = false;
    bool fbPumping = false;
    std::function<void(const QString&)> fShown;
    std::function<void(bool)> fGone;
};

// One socket's operator face at the station's terminal: the questions that answer later go into
// the station's queue. The blocking forms have no answer, since waiting for a person there would
// hold every socket.
class TTerminalSocketDialogs : public IOperatorDialogs
{
public:
    TTerminalSocketDialogs(TTerminalQuestions& aQuestions, int iSocket);

    TDialogAnswer MessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons) override;
    std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                    const QString& sDefault) override;
    bool CloseActiveDialog() override;
    void AskMessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons,
                       std::function<void(TDialogAnswer)> aAnswered) override;
    void AskInputBox(const QString& sCaption, const QString& sPrompt, const QString& sDefault,
                     std::function<void(std::optional<QString>)> aAnswered) override;

private:
    TTerminalQuestions& fQuestions;
    int fiSocket;
};
