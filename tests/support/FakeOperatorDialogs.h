#pragma once

#include "execution/OperatorDialogs.h"

#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// The operator of device tests: answers message and input boxes from a script and records every
// question. A question without a scripted answer is one nobody can answer (TDialogAnswer::None,
// no text), as in a headless run without answers. An answer may keep its dialog open for a while
// (a nested event loop, as a modal dialog runs one), so that a test can withdraw it with
// CloseActiveDialog meanwhile.
class TFakeOperatorDialogs : public IOperatorDialogs
{
public:
    struct TQuestion
    {
        bool bInput = false; // an input box, else a message box
        QString sCaption;
        QString sText; // the message or the prompt
        TDialogButtons eButtons = TDialogButtons::Ok;
        QString sDefault;
    };

    // Clicks a button of the next message box after iOpenMs milliseconds.
    void AnswerButton(TDialogAnswer eAnswer, int iOpenMs = 0);
    // Confirms the next input box with sText after iOpenMs milliseconds.
    void AnswerText(const QString& sText, int iOpenMs = 0);
    // Cancels the next input box (its default text comes back).
    void CancelInput(int iOpenMs = 0);
    int PendingAnswers() const { return int(fAnswers.size()); }

    TDialogAnswer MessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons) override;
    std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                    const QString& sDefault) override;
    // Closes the dialog held open, as if it was cancelled.
    bool CloseActiveDialog() override;

    std::vector<TQuestion> questions;
    int iWithdrawn = 0; // dialogs closed by CloseActiveDialog

private:
    struct TAnswer
    {
        TDialogAnswer eButton = TDialogAnswer::None;
        std::optional<QString> sText; // an input box's text; none cancels it
        int iOpenMs = 0;
    };

    // Takes the next answer, holding the dialog open first if it says so; false when the dialog was
    // withdrawn meanwhile.
    bool Next(TAnswer& aAnswer);

    std::deque<TAnswer> fAnswers;
    bool fbOpen = false;
    bool fbWithdrawn = false;
    std::function<void()> fQuit;
};
