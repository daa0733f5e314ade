#pragma once

#include "execution/AsyncCommand.h"
#include "execution/OperatorDialogs.h"

#include <functional>
#include <memory>

namespace sys {

// Base of the operator dialogs. A dialog is modal: the step concludes when the operator answers,
// inside Execute. Cancelling the step (Pause, Stop) withdraws the open dialog; a question nobody
// can answer fails the step.
class TCmdDialogBase : public TAsyncCommand
{
public:
    using TAsyncCommand::TAsyncCommand;
    ~TCmdDialogBase() override;

protected:
    // Puts the question aAsk to the operator; aAsk returns false when nobody answered. True when
    // the step goes on with the answer. False when the step already concluded (no answer), was
    // cancelled, or the command was destroyed while the dialog was open: the caller then returns
    // at once, touching nothing of the command.
    bool Ask(const std::function<bool(IOperatorDialogs&)>& aAsk);
    void StopPendingWork() override;

private:
    void Withdraw();

    bool fbAsking = false;
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
    QString fsCaption;
    QString fsPrompt1;
    QString fsPrompt2;
    QString fsDefault;
    double fdValueMin = 0.0;
    double fdValueMax = 0.0;
    QString fsVariableName;
};

} // namespace sys
