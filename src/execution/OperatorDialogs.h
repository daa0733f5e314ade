#pragma once

#include <QString>

#include <functional>
#include <optional>

// The button sets of an operator message box.
enum class TDialogButtons
{
    Ok,
    OkCancel,
    YesNo
};

// How the operator closed a message box; None when nobody can answer (a headless run without
// answers), which a command treats as a failed step, never as a wait.
enum class TDialogAnswer
{
    Ok,
    Cancel,
    Yes,
    No,
    None
};

// The modal questions a command may put to the operator. The window shows Qt dialogs; the
// headless runner takes the answers file or the terminal. Each call returns once answered.
class IOperatorDialogs
{
public:
    virtual ~IOperatorDialogs() = default;

    // A message box with a caption, a text and a button set. Closing an OK/Cancel box without a
    // button (Escape, the close control) counts as Cancel, an OK box as OK.
    virtual TDialogAnswer MessageBox(const QString& sCaption, const QString& sText,
                                     TDialogButtons eButtons) = 0;
    // An input box preset with sDefault: the edited text on OK, sDefault unchanged on Cancel; none
    // when nobody can answer.
    virtual std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                            const QString& sDefault) = 0;
    // Brings the program to the front and closes the operator dialog that is open as if it was
    // cancelled (an automation server withdraws its question); false when none is open.
    virtual bool CloseActiveDialog() = 0;

    // The same questions answered later: aAnswered is called once, on the main thread, with what
    // the blocking form would have returned. A face that serves several test sockets in one
    // window asks this way, so that one socket's open question never holds another socket in a
    // nested loop. These forms ask through the blocking ones and answer before they return.
    virtual void AskMessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons,
                               std::function<void(TDialogAnswer)> aAnswered)
    {
        aAnswered(MessageBox(sCaption, sText, eButtons));
    }
    virtual void AskInputBox(const QString& sCaption, const QString& sPrompt, const QString& sDefault,
                             std::function<void(std::optional<QString>)> aAnswered)
    {
        aAnswered(InputBox(sCaption, sPrompt, sDefault));
    }
};
