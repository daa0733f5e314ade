#include "ConsoleOperatorDialogs.h"

#include "OperatorAnswers.h"

TConsoleOperatorDialogs::TConsoleOperatorDialogs(TOperatorAnswers& aAnswers) : fAnswers(aAnswers) {}

TDialogAnswer TConsoleOperatorDialogs::MessageBox(const QString& sCaption, const QString& sText,
                                                  TDialogButtons eButtons)
{
    const QString sQuestion = sCaption.isEmpty() ? sText : sCaption + QStringLiteral(": ") + sText;
    const std::vector<EAnswerButton> allowed = eButtons == TDialogButtons::Ok
                                                   ? std::vector<EAnswerButton>{abOk, abYes}
                                                   : std::vector<EAnswerButton>{abOk, abYes, abCancel, abNo};
    const std::optional<EAnswerButton> button = fAnswers.AskButton(sQuestion, allowed, {sCaption, sText});
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

std::optional<QString> TConsoleOperatorDialogs::InputBox(const QString& sCaption, const QString& sPrompt,
                                                         const QString& sDefault)
{
    QString sQuestion = sCaption.isEmpty() ? sPrompt : sCaption + QStringLiteral(": ") + sPrompt;
    if (!sDefault.isEmpty())
        sQuestion += QStringLiteral(" [") + sDefault + QLatin1Char(']');
    return fAnswers.AskInput(sQuestion, sDefault, {sCaption, sPrompt});
}
