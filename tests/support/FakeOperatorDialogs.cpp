#include "FakeOperatorDialogs.h"

#include <QEventLoop>
#include <QTimer>

void TFakeOperatorDialogs::AnswerButton(TDialogAnswer eAnswer, int iOpenMs)
{
    fAnswers.push_back({eAnswer, std::nullopt, iOpenMs});
}

void TFakeOperatorDialogs::AnswerText(const QString& sText, int iOpenMs)
{
    fAnswers.push_back({TDialogAnswer::Ok, sText, iOpenMs});
}

void TFakeOperatorDialogs::CancelInput(int iOpenMs)
{
    fAnswers.push_back({TDialogAnswer::Cancel, std::nullopt, iOpenMs});
}

bool TFakeOperatorDialogs::Next(TAnswer& aAnswer)
{
    aAnswer = fAnswers.front();
    fAnswers.pop_front();
    if (aAnswer.iOpenMs <= 0)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(aAnswer.iOpenMs);
    fbOpen = true;
    fbWithdrawn = false;
    fQuit = [&loop] { loop.quit(); };
    loop.exec();
    fQuit = nullptr;
    fbOpen = false;
    return !fbWithdrawn;
}

TDialogAnswer TFakeOperatorDialogs::MessageBox(const QString& sCaption, const QString& sText,
                                               TDialogButtons eButtons)
{
    questions.push_back({false, sCaption, sText, eButtons, QString()});
    if (fAnswers.empty())
        return TDialogAnswer::None;
    TAnswer answer;
    if (!Next(answer))
        return eButtons == TDialogButtons::Ok      ? TDialogAnswer::Ok
               : eButtons == TDialogButtons::YesNo ? TDialogAnswer::No
                                                   : TDialogAnswer::Cancel;
    return answer.eButton;
}

std::optional<QString> TFakeOperatorDialogs::InputBox(const QString& sCaption, const QString& sPrompt,
                                                      const QString& sDefault)
{
    questions.push_back({true, sCaption, sPrompt, TDialogButtons::OkCancel, sDefault});
    if (fAnswers.empty())
        return std::nullopt;
    TAnswer answer;
    if (!Next(answer) || !answer.sText)
        return sDefault;
    return answer.sText;
}

bool TFakeOperatorDialogs::CloseActiveDialog()
{
    if (!fbOpen)
        return false;
    fbWithdrawn = true;
    ++iWithdrawn;
    fQuit();
    return true;
}
