#pragma once

#include "execution/AsyncCommand.h"
#include "execution/OperatorDialogs.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace sys {

// Base of the operator dialogs. The step concludes when the operator answers: inside Execute with
// a face that answers at once, later with one that serves several test sockets in one window.
// Cancelling the step (Pause, Stop) or destroying the command withdraws the open question, and an
// answer that comes after that never reaches the command; a question nobody can answer fails the
// step.
class TCmdDialogBase : public TAsyncCommand
{
public:
    using TAsyncCommand::TAsyncCommand;
    ~TCmdDialogBase() override;

protected:
    // Put a question to the operator. aAnswered runs guarded with the answer, once, while the step
    // still waits for it; a question nobody can answer fails the step instead. The caller returns
    // after asking and touches nothing of the command: it may be gone when the ask returns.
    void AskButton(const QString& sCaption, const QString& sText, TDialogButtons eButtons,
                   std::function<void(TDialogAnswer)> aAnswered);
    void AskText(const QString& sCaption, const QString& sPrompt, const QString& sDefault,
                 std::function<void(const QString&)> aAnswered);
    void StopPendingWork() override;

private:
    // What to do with an answer; empty when nobody answered.
    using TJudge = std::function<void()>;
    // Asks through the dialogs, handing the answer's judge to the callback it is given.
    using TQuestion = std::function<void(IOperatorDialogs&, std::function<void(TJudge)>)>;

    void Ask(const TQuestion& aQuestion);
    void Answered(std::uint64_t iQuestion, TJudge aJudge);
    void RunJudges();
    void Withdraw();

    bool fbAsking = false;
    std::uint64_t fiQuestion = 0; // the question open while fbAsking; earlier ones' answers are late
    // A face that answers at once calls back inside the ask: the answer waits here until the ask
    // returned, so that asking again (Dialog.Input.Value) loops instead of nesting deeper each time.
    TJudge fJudge;
    bool fbInsideAsk = false;
    bool fbJudging = false;
    std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
};

// "Dialog": a message with OK, OK/Cancel or Yes/No buttons.
class TCmdMessageBox : public TCmdDialogBase
{
public:
    using TCmdDialogBase::TCmdDialogBase;
    TCommand* Init(const QString& sParameter) override;

    TDialogButtons Buttons() const;

protected:
    void Start(const QString& sParameter) override;

private:
    void Judge(TDialogAnswer eAnswer);

    QString fsCaption;
    QString fsText;
    int fiButton = 0; // 0 OK, 1 OK and Cancel, 4 Yes and No
};

// "Dialog.Input.String": a text input compared with an expected pattern.
class TCmdInputBoxStr : public TCmdDialogBase
{
public:
    using TCmdDialogBase::TCmdDialogBase;
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;

private:
    void Judge(const QString& sInput);

    QString fsCaption;
    QString fsPrompt;
    QString fsDefault;
    QString fsExpected;
    QString fsVariableName;
};

// "Dialog.Input.Value": a number input checked against limits; asked again until it is a number.
class TCmdInputBoxValue : public TCmdDialogBase
{
public:
    using TCmdDialogBase::TCmdDialogBase;
    TCommand* Init(const QString& sParameter) override;

    double ValueMin() const { return fdValueMin; }
    double ValueMax() const { return fdValueMax; }

protected:
    void Start(const QString& sParameter) override;

private:
    void AskValue(const QString& sPrompt);
    void Judge(const QString& sAnswer);

    QString fsCaption;
    QString fsPrompt1;
    QString fsPrompt2;
    QString fsDefault;
    double fdValueMin = 0.0;
    double fdValueMax = 0.0;
    QString fsVariableName;
};

} // namespace sys
