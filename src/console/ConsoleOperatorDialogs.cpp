#include "ConsoleOperatorDialogs.h"

TConsoleOperatorDialogs::TConsoleOperatorDialogs(TOperatorAnswers& aAnswers) : fAnswers(aAnswers) {}

QString TConsoleOperatorDialogs::MessageQuestion(const QString& sCaption, const QString& sText)
{
    return sCaption.isEmpty() ? sText : sCaption + QStringLiteral(": ") + sText;
}

std::vector<EAnswerButton> TConsoleOperatorDialogs::AllowedButtons(TDialogButtons eButtons)
{
    return eButtons == TDialogButtons::Ok ? std::vector<EAnswerButton>{abOk, abYes}
                                          : std::vector<EAnswerButton>{abOk, abYes, abCancel, abNo};
}

TDialogAnswer TConsoleOperatorDialogs::ButtonAnswer(std::optional<EAnswerButton> button,
                                                    TDialogButtons eButtons)
{
    if (!button)
        return TDialogAnswer::None;
    const bool bAccepted = *button == abOk || *button == abYes;
    switch (eButtons) {
    case TDialogButtons::Ok:
        return TDialogAnswer::Ok;
    case TDialogButtons::OkCancel:
        return bAccepted ? TDialogAnswer::Ok : TDialogAnswer::Cancel;
    case TDialogButtons::YesNo:
        break;
    }
    return bAccepted ? TDialogAnswer::Yes : TDialogAnswer::No;
}

QString TConsoleOperatorDialogs::InputQuestion(const QString& sCaption, const QString& sPrompt,
                                               const QString& sDefault)
{
    QString sQuestion = sCaption.isEmpty() ? sPrompt : sCaption + QStringLiteral(": ") + sPrompt;
    if (!sDefault.isEmpty())
        sQuestion += QStringLiteral(" [") + sDefault + QLatin1Char(']');
    return sQuestion;
}

TDialogAnswer TConsoleOperatorDialogs::MessageBox(const QString& sCaption, const QString& sText,
                                                  TDialogButtons eButtons)
{
    return ButtonAnswer(
        fAnswers.AskButton(MessageQuestion(sCaption, sText), AllowedButtons(eButtons), {sCaption, sText}),
        eButtons);
}

std::optional<QString> TConsoleOperatorDialogs::InputBox(const QString& sCaption, const QString& sPrompt,
                                                         const QString& sDefault)
{
    return fAnswers.AskInput(InputQuestion(sCaption, sPrompt, sDefault), sDefault, {sCaption, sPrompt});
}
