#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QTextStream;

// The operator's answers for a headless run.
//
// Answers file (tzk-run --answers FILE), UTF-8, one answer per line, taken in order by the
// questions of the run as they come:
//
//   # comment             a line whose first non-blank character is "#" is ignored
//                         (blank lines are ignored, too)
//   Anna Smith            any other line is a text: the operator name, a text input;
//                         taken without leading and trailing blanks
//   \# not a comment      a line starting with a backslash is a text taken exactly as written
//                         after the backslash (blanks kept): "\#1" is "#1", "\yes" is "yes",
//                         "\" alone an empty text
//   key:Enter             a key for a command that waits for one: "Enter" is the main Enter key
//   key:Escape            (Qt's Key_Return); other names are Qt key names with or without "Key_"
//   key:F5, key:Key_Enter (Escape, Space, A, F5, Key_Enter for the keypad's Enter), any case
//   yes | no | ok | next | cancel
//                         a button; the final dialog takes "next" (or "yes") to start another
//                         run and "cancel" (or "no") to end; the error report takes "yes" (or
//                         "ok") to print the report and "no" (or "cancel") to close it
//   stop | nostop         the error report's "Stop Test Process" box, ticked or not
//   [Label] answer        an answer for the question named Label only (its caption or prompt,
//                         the step of a key wait, "Operator name", "Next run or cancel", ...):
//                         it waits for that question, and the answers before it are skipped
//                         when that question comes (their questions were not asked)
//
// The words are recognised without regard to case. Answers without a label are taken in order
// by the questions that find no labelled answer of their own. An answer of the wrong kind for a
// question (a key where a name is asked, say) is reported, and the file gives no further
// answers: the run never goes on with answers that are out of step. A question after the last
// answer has none. A run whose answers file was out of step (an answer of the wrong kind, or
// answers that no question took) ends with the status for wrong usage, unless a step had failed
// before: a failure skips questions.
//
// Without an answers file and with a terminal on standard input, the questions are asked on
// standard error and answered on standard input in the same words (a key may be typed without
// "key:", an empty line is Enter for a key, and the question's default for a button or the stop
// box). Without either, no question has an answer: the caller takes its default.
enum EAnswerKind
{
    akText,
    akKey,
    akButton,
    akStopBox
};

enum EAnswerButton
{
    abYes,
    abNo,
    abOk,
    abNext,
    abCancel
};

struct TOperatorAnswer
{
    EAnswerKind eKind = akText;
    QString sText; // the text of akText; the line as written for the others
    int iKey = 0;
    EAnswerButton eButton = abYes;
    bool bStop = false;
    int iLine = 0;
    QString sLabel; // "[Label]": only the question of that name takes the answer
};

class TOperatorAnswers
{
public:
    enum ESource
    {
        asNone,
        asList,
        asConsole
    };

    // Nobody answers.
    TOperatorAnswers() = default;

    // Raise EError naming the line of the first line that is not an answer, or the file that
    // cannot be read.
    static TOperatorAnswers FromText(const QString& sText, const QString& sSourceName);
    static TOperatorAnswers FromFile(const QString& sFileName);
    // Questions go to aPrompt, answers are read from the file descriptor iInputFd.
    static TOperatorAnswers Console(int iInputFd, QTextStream& aPrompt);

    // One line of an answers file; none for a blank or comment line. Raises EError with the
    // reason for a malformed line.
    static std::optional<TOperatorAnswer> ParseLine(const QString& sLine);
    // A key by name ("Enter", "Escape", "F5", "Key_Space"); none for an unknown name.
    static std::optional<int> KeyFromName(const QString& sName);
    static QString KeyName(int iKey);

    ESource Source() const { return feSource; }
    // The read end of the interrupt handler's pipe: a console question returns without an answer
    // once it is readable.
    void SetInterruptFd(int iFd) { fiInterruptFd = iFd; }

    // slNames are the names a labelled answer may give the question by (a dialog's caption and
    // prompt); the question's own text is always one.
    std::optional<QString> AskText(const QString& sQuestion, const QStringList& slNames = {});
    std::optional<int> AskKey(const QString& sQuestion, const QStringList& slNames = {});
    std::optional<EAnswerButton> AskButton(const QString& sQuestion,
                                           const std::vector<EAnswerButton>& aAllowed,
                                           const QStringList& slNames = {});
    std::optional<bool> AskStopBox(const QString& sQuestion);
    // An input box: a text, or one of its buttons, "ok" (the preset text accepted) or "cancel" (the
    // preset text kept); both give sDefault. At a terminal a typed line is the text.
    std::optional<QString> AskInput(const QString& sQuestion, const QString& sDefault,
                                    const QStringList& slNames = {});

    // Tells whether a step has failed so far: answers that go out of step after a failure are no
    // mistake of the file (the failure skipped questions).
    void SetFailureQuery(std::function<bool()> aFailed) { fFailed = std::move(aFailed); }
    // The list went out of step before any step had failed.
    bool OutOfStepBeforeFailure() const { return fbListEnded && !fbEndedAfterFailure; }

    // Answers of the list not yet taken.
    int Remaining() const;
    // The first answer of the list not yet taken; null when none is left or the list has ended.
    const TOperatorAnswer* NextAnswer() const;
    // An answer of the list did not fit its question, so the list ended there.
    bool OutOfStep() const { return fbListEnded; }
    // The last console question ended by an interrupt rather than an answer.
    bool Interrupted() const { return fbInterrupted; }

    // For questions that must not block the event loop (a key wait): the console's input, read
    // when it is readable.
    int InputFd() const { return fiInputFd; }
    void Prompt(const QString& sQuestion, EAnswerKind eKind);
    // Reads what is there without waiting for more; false once the input has ended.
    bool ReadAvailable();
    std::optional<QString> TakeLine();
    bool InputEnded() const { return fbInputEnded; }
    // A line typed at the console as an answer of the kind: an answer, the question's default (an
    // empty line for a button or the stop box) or no answer of that kind. An empty line is Enter
    // for a key.
    enum EConsoleParse
    {
        cpAnswer,
        cpDefault,
        cpInvalid
    };
    static EConsoleParse ParseConsoleLine(const QString& sLine, EAnswerKind eKind, TOperatorAnswer& aAnswer);
    // ParseConsoleLine for a question that takes only the buttons aAllowed: any other is no answer.
    static EConsoleParse ParseConsoleAnswer(const QString& sLine, EAnswerKind eKind,
                                            const std::vector<EAnswerButton>& aAllowed,
                                            TOperatorAnswer& aAnswer);
    // The words of a question at the terminal: "Check: LED on? [ok/yes/cancel/no]: ".
    static QString ConsolePrompt(const QString& sQuestion, EAnswerKind eKind,
                                 const std::vector<EAnswerButton>& aAllowed);
    // What the terminal says after a line that is no answer: "Please answer with a key."
    static QString ConsoleRetry(EAnswerKind eKind);

private:
    enum EReadResult
    {
        rrLine,
        rrEnd,
        rrInterrupted
    };

    std::optional<TOperatorAnswer> Take(EAnswerKind eKind, const QString& sQuestion,
                                        const std::vector<EAnswerButton>& aAllowed,
                                        const QStringList& slNames);
    std::optional<TOperatorAnswer> TakeFromList(EAnswerKind eKind, const QString& sQuestion,
                                                const std::vector<EAnswerButton>& aAllowed,
                                                const QStringList& slNames);
    // The answer of the list the question takes: its labelled one, else the first unlabelled one.
    std::optional<std::size_t> FindListAnswer(const QString& sQuestion, const QStringList& slNames);
    void SkipListAnswersBefore(std::size_t iIndex);
    std::optional<TOperatorAnswer> TakeInputFromList(const QString& sQuestion, const QStringList& slNames);
    std::optional<TOperatorAnswer> TakeFromConsole(EAnswerKind eKind, const QString& sQuestion,
                                                   const std::vector<EAnswerButton>& aAllowed);
    EReadResult ReadLine(QString& sLine);

    ESource feSource = asNone;
    std::vector<TOperatorAnswer> fAnswers;
    std::vector<bool> fTaken; // answers taken (or skipped) out of order
    std::size_t fiNext = 0;   // the first answer not taken
    bool fbListEnded = false;
    bool fbEndedAfterFailure = false;
    std::function<bool()> fFailed;

    int fiInputFd = -1;
    int fiInterruptFd = -1;
    QTextStream* fPrompt = nullptr;
    QByteArray faInput;
    bool fbInputEnded = false;
    bool fbInterrupted = false;
};
