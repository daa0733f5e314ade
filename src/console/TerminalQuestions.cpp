#include "TerminalQuestions.h"

#include "ConsoleOperatorDialogs.h"

#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace {

QString SocketPrefix(int iSocket)
{
    return QStringLiteral("[%1] ").arg(iSocket);
}

} // namespace

TTerminalQuestions::TTerminalQuestions(int iInputFd, QTextStream& aPrompt, QObject* aParent)
    : QObject(aParent), fiInputFd(iInputFd), fPrompt(aPrompt)
{
    if (fiInputFd < 0) {
        fbInputEnded = true;
        return;
    }
    fNotifier = new QSocketNotifier(fiInputFd, QSocketNotifier::Read, this);
    fNotifier->setEnabled(false);
    connect(fNotifier, &QSocketNotifier::activated, this, &TTerminalQuestions::Readable);
}

TTerminalQuestions::~TTerminalQuestions() = default;

void TTerminalQuestions::Ask(int iSocket, const QString& sQuestion, EAnswerKind eKind,
                             const std::vector<EAnswerButton>& aAllowed, TAnswered aAnswered)
{
    fQueue.push_back(TQuestion{iSocket, sQuestion, eKind, aAllowed, std::move(aAnswered)});
    Pump();
}

bool TTerminalQuestions::Withdraw(int iSocket)
{
    // Like closing the one dialog that is open: the socket's oldest question.
    bool bFound = false;
    return EndQuestions([iSocket, &bFound](const TQuestion& q) {
        if (bFound || q.iSocket != iSocket)
            return false;
        bFound = true;
        return true;
    });
}

void TTerminalQuestions::Interrupt()
{
    EndQuestions([](const TQuestion&) { return true; });
}

void TTerminalQuestions::Prompt(const TQuestion& aQuestion)
{
    const QString sPrompt =
        SocketPrefix(aQuestion.iSocket) +
        TOperatorAnswers::ConsolePrompt(aQuestion.sQuestion, aQuestion.eKind, aQuestion.allowed);
    fPrompt << sPrompt;
    fPrompt.flush();
    if (fShown)
        fShown(sPrompt);
}

void TTerminalQuestions::Gone(bool bAtLineStart)
{
    fbShown = false;
    if (fGone)
        fGone(bAtLineStart);
}

// Shows the first question and answers it with the lines typed so far, then the next one, until a
// question waits for a line or none is left. An answer's receiver may ask again: its question is
// queued, and this loop takes it.
void TTerminalQuestions::Pump()
{
    if (fbPumping)
        return;
    fbPumping = true;
    for (;;) {
        if (!fbShown) {
            if (fQueue.empty())
                break;
            fbShown = true;
            Prompt(fQueue.front());
        }
        const std::optional<QByteArray> aLine = TakeLine();
        if (!aLine) {
            if (!fbInputEnded)
                break;
            // Nobody can answer any more, as a single socket's terminal after its input ended.
            TQuestion question = std::move(fQueue.front());
            fQueue.pop_front();
            Gone(false);
            question.answered(std::nullopt);
            continue;
        }
        Gone(true);
        const TQuestion& front = fQueue.front();
        TOperatorAnswer answer;
        const TOperatorAnswers::EConsoleParse eParse = TOperatorAnswers::ParseConsoleAnswer(
            QString::fromUtf8(*aLine), front.eKind, front.allowed, answer);
        if (eParse == TOperatorAnswers::cpInvalid) {
            fPrompt << SocketPrefix(front.iSocket) << TOperatorAnswers::ConsoleRetry(front.eKind) << Qt::endl;
            continue;
        }
        TQuestion question = std::move(fQueue.front());
        fQueue.pop_front();
        question.answered(eParse == TOperatorAnswers::cpAnswer ? std::optional<TOperatorAnswer>(answer)
                                                               : std::nullopt);
    }
    fbPumping = false;
    if (fNotifier)
        fNotifier->setEnabled(fbShown && !fbInputEnded);
}

bool TTerminalQuestions::EndQuestions(const std::function<bool(const TQuestion&)>& aWhich)
{
    std::vector<TQuestion> ended;
    for (auto it = fQueue.begin(); it != fQueue.end();) {
        if (!aWhich(*it)) {
            ++it;
            continue;
        }
        if (it == fQueue.begin() && fbShown) {
            // The question on the terminal gives up its line, as Ctrl+C does at a single socket.
            Gone(false);
            fPrompt << Qt::endl;
        }
        ended.push_back(std::move(*it));
        it = fQueue.erase(it);
    }
    for (TQuestion& question : ended)
        question.answered(std::nullopt);
    Pump();
    return !ended.empty();
}

void TTerminalQuestions::Readable()
{
    char aBuffer[4096];
    for (;;) {
        // The notifier said the input is readable: one read does not block.
        const ssize_t iRead = ::read(fiInputFd, aBuffer, sizeof aBuffer);
        if (iRead > 0) {
            faInput.append(aBuffer, qsizetype(iRead));
            break;
        }
        if (iRead < 0 && errno == EINTR)
            continue;
        if (iRead < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        fbInputEnded = true;
        break;
    }
    Pump();
}

std::optional<QByteArray> TTerminalQuestions::TakeLine()
{
    const qsizetype iEnd = faInput.indexOf('\n');
    if (iEnd < 0) {
        if (!fbInputEnded || faInput.isEmpty())
            return std::nullopt;
        // The last line of an input without a final line break.
        return std::exchange(faInput, QByteArray());
    }
    const QByteArray aLine = faInput.left(iEnd);
    faInput.remove(0, iEnd + 1);
    return aLine;
}

// ---------------------------------------------------------------------------------------------

TTerminalSocketDialogs::TTerminalSocketDialogs(TTerminalQuestions& aQuestions, int iSocket)
    : fQuestions(aQuestions), fiSocket(iSocket)
{}

TDialogAnswer TTerminalSocketDialogs::MessageBox(const QString&, const QString&, TDialogButtons)
{
    return TDialogAnswer::None;
}

std::optional<QString> TTerminalSocketDialogs::InputBox(const QString&, const QString&, const QString&)
{
    return std::nullopt;
}

bool TTerminalSocketDialogs::CloseActiveDialog()
{
    return fQuestions.Withdraw(fiSocket);
}

void TTerminalSocketDialogs::AskMessageBox(const QString& sCaption, const QString& sText,
                                           TDialogButtons eButtons,
                                           std::function<void(TDialogAnswer)> aAnswered)
{
    fQuestions.Ask(fiSocket, TConsoleOperatorDialogs::MessageQuestion(sCaption, sText), akButton,
                   TConsoleOperatorDialogs::AllowedButtons(eButtons),
                   [eButtons, answered = std::move(aAnswered)](std::optional<TOperatorAnswer> answer) {
                       answered(TConsoleOperatorDialogs::ButtonAnswer(
                           answer ? std::optional<EAnswerButton>(answer->eButton) : std::nullopt, eButtons));
                   });
}

void TTerminalSocketDialogs::AskInputBox(const QString& sCaption, const QString& sPrompt,
                                         const QString& sDefault,
                                         std::function<void(std::optional<QString>)> aAnswered)
{
    // A typed line is the text, as at a single socket's terminal.
    fQuestions.Ask(fiSocket, TConsoleOperatorDialogs::InputQuestion(sCaption, sPrompt, sDefault), akText, {},
                   [answered = std::move(aAnswered)](std::optional<TOperatorAnswer> answer) {
                       answered(answer ? std::optional<QString>(answer->sText) : std::nullopt);
                   });
}
