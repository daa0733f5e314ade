#pragma once

#include "execution/OperatorDialogs.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

// The operator of a window that serves several test sockets: a question asked with the answer-later
// forms stays open until the test answers it, so that the asking command concludes outside its
// Execute. Nobody answers the blocking forms (they are counted: a command that still asks that
// way would hold the other sockets). Each socket has its own.
class THeldOperatorDialogs : public IOperatorDialogs
{
public:
    struct TQuestion
    {
        bool bInput = false; // an input box, else a message box
        QString sCaption;
        QString sText; // the message or the prompt
        TDialogButtons eButtons = TDialogButtons::Ok;
        QString sDefault;
        bool bOpen = true; // neither answered nor closed yet
    };

    // Clicks a button of question iQuestion (in the order asked); an input box's text; none as a face
    // that cannot answer. A question that was answered or closed before gets the answer all the
    // same, as a late one from a face whose answer was under way.
    void AnswerButton(std::size_t iQuestion, TDialogAnswer eAnswer);
    void AnswerText(std::size_t iQuestion, const std::optional<QString>& sText);

    const std::vector<TQuestion>& Questions() const { return fQuestions; }
    int OpenQuestions() const;

    TDialogAnswer MessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons) override;
    std::optional<QString> InputBox(const QString& sCaption, const QString& sPrompt,
                                    const QString& sDefault) override;
    // Closes the question asked last that is still open as if it was cancelled: it answers what a
    // cancelled dialog gives (Cancel, No, OK as the buttons go; the default text).
    bool CloseActiveDialog() override;
    void AskMessageBox(const QString& sCaption, const QString& sText, TDialogButtons eButtons,
                       std::function<void(TDialogAnswer)> aAnswered) override;
    void AskInputBox(const QString& sCaption, const QString& sPrompt, const QString& sDefault,
                     std::function<void(std::optional<QString>)> aAnswered) override;

    int iBlocking = 0;  // questions asked with the blocking forms
    int iWithdrawn = 0; // questions closed by CloseActiveDialog

private:
    std::vector<TQuestion> fQuestions;
    // Parallel to fQuestions; one of the two is set.
    std::vector<std::function<void(TDialogAnswer)>> fButtonAnswers;
    std::vector<std::function<void(std::optional<QString>)>> fTextAnswers;
};
