#include "HeldOperatorDialogs.h"

#include <stdexcept>

void THeldOperatorDialogs::AnswerButton(std::size_t iQuestion, TDialogAnswer eAnswer)
{
    if (iQuestion >= fQuestions.size() || fQuestions[iQuestion].bInput)
        throw std::logic_error("no such message box was asked");
    fQuestions[iQuestion].bOpen = false;
    // A copy: the answer may ask the next question, which grows the lists.
    const auto answered = fButtonAnswers[iQuestion];
    answered(eAnswer);
}

void THeldOperatorDialogs::AnswerText(std::size_t iQuestion, const std::optional<QString>& sText)
{
    if (iQuestion >= fQuestions.size() || !fQuestions[iQuestion].bInput)
        throw std::logic_error("no such input box was asked");
    fQuestions[iQuestion].bOpen = false;
    const auto answered = fTextAnswers[iQuestion];
    answered(sText);
}

int THeldOperatorDialogs::OpenQuestions() const
{
    int iOpen = 0;
    for (const TQuestion& question : fQuestions)
        iOpen += question.bOpen ? 1 : 0;
    return iOpen;
}

TDialogAnswer THeldOperatorDialogs::MessageBox(const QString&, const QString&, TDialogButtons)
{
    ++iBlocking;
    return TDialogAnswer::None;
}

std::optional<QString> THeldOperatorDialogs::InputBox(const QString&, const QString&, const QString&)
{
    ++iBlocking;
    return std::nullopt;
}

bool THeldOperatorDialogs::CloseActiveDialog()
{
    for (std::size_t i = fQuestions.size(); i-- > 0;) {
        const TQuestion& question = fQuestions[i];
        if (!question.bOpen)
            continue;
        ++iWithdrawn;
        if (question.bInput)
            AnswerText(i, question.sDefault);
        else
            AnswerButton(i, question.eButtons == TDialogButtons::Ok      ? TDialogAnswer::Ok
                            : question.eButtons == TDialogButtons::YesNo ? TDialogAnswer::No
                                                                         : TDialogAnswer::Cancel);
        return true;
    }
    return false;
}

void THeldOperatorDialogs::AskMessageBox(const QString& sCaption, const QString& sText,
                                         TDialogButtons eButtons,
                                         std::function<void(TDialogAnswer)> aAnswered)
{
    fQuestions.push_back({false, sCaption, sText, eButtons, QString()});
    fButtonAnswers.push_back(std::move(aAnswered));
    fTextAnswers.emplace_back();
}

void THeldOperatorDialogs::AskInputBox(const QString& sCaption, const QString& sPrompt,
                                       const QString& sDefault,
                                       std::function<void(std::optional<QString>)> aAnswered)
{
    fQuestions.push_back({true, sCaption, sPrompt, TDialogButtons::OkCancel, sDefault});
    fButtonAnswers.emplace_back();
    fTextAnswers.push_back(std::move(aAnswered));
}
