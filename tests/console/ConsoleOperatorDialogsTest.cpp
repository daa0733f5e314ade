#include "console/ConsoleOperatorDialogs.h"
#include "console/OperatorAnswers.h"

#include <gtest/gtest.h>

namespace {

QString Name(TDialogAnswer eAnswer)
{
    switch (eAnswer) {
    case TDialogAnswer::Ok:
        return QStringLiteral("Ok");
    case TDialogAnswer::Cancel:
        return QStringLiteral("Cancel");
    case TDialogAnswer::Yes:
        return QStringLiteral("Yes");
    case TDialogAnswer::No:
        return QStringLiteral("No");
    case TDialogAnswer::None:
        break;
    }
    return QStringLiteral("None");
}

TEST(ConsoleOperatorDialogsTest, ButtonWordsAnswerEveryButtonSet)
{
    const struct
    {
        TDialogButtons eButtons;
        const char* sWord;
        TDialogAnswer eAnswer;
    } cases[] = {
        {TDialogButtons::Ok, "ok", TDialogAnswer::Ok},
        {TDialogButtons::Ok, "yes", TDialogAnswer::Ok},
        {TDialogButtons::OkCancel, "OK", TDialogAnswer::Ok},
        {TDialogButtons::OkCancel, "cancel", TDialogAnswer::Cancel},
        {TDialogButtons::OkCancel, "no", TDialogAnswer::Cancel},
        {TDialogButtons::YesNo, "yes", TDialogAnswer::Yes},
        {TDialogButtons::YesNo, "ok", TDialogAnswer::Yes},
        {TDialogButtons::YesNo, "No", TDialogAnswer::No},
        {TDialogButtons::YesNo, "cancel", TDialogAnswer::No},
    };
    for (const auto& c : cases) {
        TOperatorAnswers answers =
            TOperatorAnswers::FromText(QString::fromLatin1(c.sWord), QStringLiteral("test"));
        TConsoleOperatorDialogs dialogs(answers);
        EXPECT_EQ(Name(dialogs.MessageBox(QStringLiteral("Check"), QStringLiteral("LED on?"), c.eButtons)),
                  Name(c.eAnswer))
            << c.sWord;
    }
}

TEST(ConsoleOperatorDialogsTest, WithoutAnAnswerNothingWaits)
{
    TOperatorAnswers nobody;
    TConsoleOperatorDialogs dialogs(nobody);
    EXPECT_EQ(dialogs.MessageBox(QString(), QStringLiteral("LED on?"), TDialogButtons::YesNo),
              TDialogAnswer::None);
    EXPECT_FALSE(dialogs.InputBox(QStringLiteral("Serial"), QStringLiteral("Number"), QStringLiteral("SN-")));
    EXPECT_FALSE(dialogs.CloseActiveDialog());

    // "cancel" cannot close an OK box: an answer out of step ends the answers.
    TOperatorAnswers wrong =
        TOperatorAnswers::FromText(QStringLiteral("cancel\nyes"), QStringLiteral("test"));
    TConsoleOperatorDialogs strict(wrong);
    EXPECT_EQ(strict.MessageBox(QString(), QStringLiteral("Done"), TDialogButtons::Ok), TDialogAnswer::None);
    EXPECT_EQ(strict.MessageBox(QString(), QStringLiteral("Done"), TDialogButtons::Ok), TDialogAnswer::None);
}

TEST(ConsoleOperatorDialogsTest, InputBoxTakesTheTextLine)
{
    TOperatorAnswers answers =
        TOperatorAnswers::FromText(QStringLiteral("SN-1234\n\\\nkey:Enter"), QStringLiteral("test"));
    TConsoleOperatorDialogs dialogs(answers);
    EXPECT_EQ(dialogs.InputBox(QStringLiteral("Serial"), QStringLiteral("Number"), QStringLiteral("SN-")),
              QStringLiteral("SN-1234"));
    EXPECT_EQ(dialogs.InputBox(QStringLiteral("Serial"), QStringLiteral("Number"), QStringLiteral("SN-")),
              QString());
    EXPECT_FALSE(dialogs.InputBox(QStringLiteral("Serial"), QStringLiteral("Number"), QString()))
        << "a key is no text";
}

// The input box's buttons: OK accepts the preset text, Cancel submits it unchanged; the other
// button words belong to other dialogs.
TEST(ConsoleOperatorDialogsTest, InputBoxTakesItsButtons)
{
    const struct
    {
        const char* sAnswer;
        std::optional<QString> sResult;
    } cases[] = {
        {"ok", QStringLiteral("SN-")},  {"Cancel", QStringLiteral("SN-")},
        {"\\ok", QStringLiteral("ok")}, {"yes", std::nullopt},
        {"next", std::nullopt},
    };
    for (const auto& c : cases) {
        TOperatorAnswers answers =
            TOperatorAnswers::FromText(QString::fromUtf8(c.sAnswer), QStringLiteral("test"));
        TConsoleOperatorDialogs dialogs(answers);
        EXPECT_EQ(dialogs.InputBox(QStringLiteral("Serial"), QStringLiteral("Number"), QStringLiteral("SN-")),
                  c.sResult)
            << c.sAnswer;
        EXPECT_EQ(answers.OutOfStep(), !c.sResult.has_value()) << c.sAnswer;
    }
}

} // namespace
