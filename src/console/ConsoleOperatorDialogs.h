#pragma once

#include "OperatorAnswers.h"
#include "execution/OperatorDialogs.h"

#include <vector>

// The operator's questions in a headless run: answered from the answers file or at the terminal.
// Without an answer a message box gives TDialogAnswer::None and an input box none, so the step
// fails instead of waiting.
class TConsoleOperatorDialogs : public IOperatorDialogs
{
public:
    explicit TConsoleOperatorDialogs(TOperatorAnswers& aAnswers);

    // "ok" and "yes" accept, "cancel" and "no" refuse, in every button set. An input box takes a
    // text, or "ok" and "cancel", which both leave the preset text as the window's buttons do.
    // A labelled answer names the dialog by its caption or its text.
    TDialogAnswer MessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons) override;
    std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                    const QString& sDefault) override;
    // A console question is answered or not before anything else happens: nothing is ever open.
    bool CloseActiveDialog() override { return false; }

    // The words of the questions, shared by every console face: "Check: LED on?", the buttons a
    // box takes, the box's answer to a button (None without one) and "Serial: Number [SN-]".
    static QString MessageQuestion(const QString& sCaption, const QString& sText);
    static std::vector<EAnswerButton> AllowedButtons(TDialogButtons eButtons);
    static TDialogAnswer ButtonAnswer(std::optional<EAnswerButton> button, TDialogButtons eButtons);
    static QString InputQuestion(const QString& sCaption, const QString& sPrompt, const QString& sDefault);

private:
    TOperatorAnswers& fAnswers;
};
