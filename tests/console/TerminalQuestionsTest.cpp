#include "console/TerminalQuestions.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <unistd.h>

namespace {

// A station's terminal: the operator types into a pipe, the questions are printed to a text.
class TerminalQuestionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        int aFds[2] = {-1, -1};
        ASSERT_EQ(::pipe(aFds), 0);
        fiRead = aFds[0];
        fiWrite = aFds[1];
        fQuestions = std::make_unique<TTerminalQuestions>(fiRead, fPrompt);
    }

    void TearDown() override
    {
        fQuestions.reset();
        ::close(fiRead);
        if (fiWrite >= 0)
            ::close(fiWrite);
    }

    void Type(const QByteArray& aText)
    {
        ASSERT_EQ(::write(fiWrite, aText.constData(), size_t(aText.size())), aText.size());
    }

    void EndInput()
    {
        ::close(fiWrite);
        fiWrite = -1;
    }

    // Runs the event loop until bDone says so (or a few seconds have passed).
    static bool Until(const std::function<bool()>& bDone)
    {
        QElapsedTimer timer;
        timer.start();
        while (!bDone() && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return bDone();
    }

    // What was printed since the last call.
    QString Printed()
    {
        fPrompt.flush();
        return std::exchange(fsPrinted, QString());
    }

    int fiRead = -1;
    int fiWrite = -1;
    QString fsPrinted;
    QTextStream fPrompt{&fsPrinted};
    std::unique_ptr<TTerminalQuestions> fQuestions;
};

TEST_F(TerminalQuestionsTest, QuestionsAreAskedOneAfterTheOtherInTheOrderTheyCame)
{
    TTerminalSocketDialogs socket1(*fQuestions, 1);
    TTerminalSocketDialogs socket2(*fQuestions, 2);
    std::optional<QString> serial;
    std::optional<TDialogAnswer> led;
    std::optional<TDialogAnswer> lid;
    bool bSerialAnswered = false;
    socket1.AskInputBox(QStringLiteral("Serial"), QStringLiteral("Number"), QStringLiteral("SN-"),
                        [&](std::optional<QString> s) {
                            serial = s;
                            bSerialAnswered = true;
                            // Asked while answering: it comes after the question of socket 2.
                            socket1.AskMessageBox(QString(), QStringLiteral("Lid closed?"),
                                                  TDialogButtons::OkCancel,
                                                  [&](TDialogAnswer e) { lid = e; });
                        });
    socket2.AskMessageBox(QStringLiteral("Check"), QStringLiteral("LED on?"), TDialogButtons::YesNo,
                          [&](TDialogAnswer e) { led = e; });
    // Only the first question is on the terminal, with its socket's number.
    EXPECT_EQ(Printed(), QStringLiteral("[1] Serial: Number [SN-]: "));
    Type("  SN-1234 \n");
    ASSERT_TRUE(Until([&] { return bSerialAnswered; }));
    EXPECT_EQ(serial, QStringLiteral("SN-1234"));
    EXPECT_FALSE(led);
    EXPECT_EQ(Printed(), QStringLiteral("[2] Check: LED on? [ok/yes/cancel/no]: "));

    // A line that is no answer asks again; lines typed ahead answer the questions that follow.
    Type("maybe\nno\nstop\ncancel\n");
    ASSERT_TRUE(Until([&] { return lid.has_value(); }));
    EXPECT_EQ(led, TDialogAnswer::No);
    EXPECT_EQ(lid, TDialogAnswer::Cancel);
    EXPECT_EQ(Printed(), QStringLiteral("[2] Please answer with a button.\n"
                                        "[2] Check: LED on? [ok/yes/cancel/no]: "
                                        "[1] Lid closed? [ok/yes/cancel/no]: "
                                        "[1] Please answer with a button.\n"
                                        "[1] Lid closed? [ok/yes/cancel/no]: "));

    // An empty line takes a box's default: no answer, so the step fails rather than waits.
    std::optional<TDialogAnswer> ready;
    socket2.AskMessageBox(QString(), QStringLiteral("Ready?"), TDialogButtons::Ok,
                          [&](TDialogAnswer e) { ready = e; });
    Type("\n");
    ASSERT_TRUE(Until([&] { return ready.has_value(); }));
    EXPECT_EQ(ready, TDialogAnswer::None);
    // The blocking forms never wait at the station's terminal.
    EXPECT_EQ(socket1.MessageBox(QString(), QStringLiteral("Blocking?"), TDialogButtons::Ok),
              TDialogAnswer::None);
    EXPECT_FALSE(socket1.InputBox(QString(), QStringLiteral("Blocking?"), QString()));
}

TEST_F(TerminalQuestionsTest, WithdrawnAndInterruptedQuestionsEndWithoutAnAnswer)
{
    TTerminalSocketDialogs socket1(*fQuestions, 1);
    TTerminalSocketDialogs socket2(*fQuestions, 2);
    TTerminalSocketDialogs socket3(*fQuestions, 3);
    std::vector<QString> answers;
    const auto Record = [&answers](const QString& sWho) {
        return [&answers, sWho](std::optional<QString> s) {
            answers.push_back(sWho + QLatin1Char('=') + s.value_or(QStringLiteral("none")));
        };
    };
    socket1.AskInputBox(QString(), QStringLiteral("A"), QString(), Record(QStringLiteral("A")));
    socket2.AskInputBox(QString(), QStringLiteral("B"), QString(), Record(QStringLiteral("B")));
    socket1.AskInputBox(QString(), QStringLiteral("C"), QString(), Record(QStringLiteral("C")));
    Printed();

    // Socket 1's step is cancelled: its question on the terminal goes, socket 2's is next.
    EXPECT_TRUE(socket1.CloseActiveDialog());
    EXPECT_EQ(answers, (std::vector<QString>{QStringLiteral("A=none")}));
    EXPECT_EQ(Printed(), QStringLiteral("\n[2] B: "));
    EXPECT_FALSE(socket3.CloseActiveDialog());
    // A queued question goes without a trace on the terminal.
    socket3.AskInputBox(QString(), QStringLiteral("D"), QString(), Record(QStringLiteral("D")));
    EXPECT_TRUE(socket3.CloseActiveDialog());
    EXPECT_EQ(answers.back(), QStringLiteral("D=none"));
    EXPECT_EQ(Printed(), QString());

    // Ctrl+C ends every question that waits; a later one is asked again.
    fQuestions->Interrupt();
    EXPECT_EQ(answers, (std::vector<QString>{QStringLiteral("A=none"), QStringLiteral("D=none"),
                                             QStringLiteral("B=none"), QStringLiteral("C=none")}));
    EXPECT_EQ(Printed(), QStringLiteral("\n"));
    socket3.AskInputBox(QString(), QStringLiteral("E"), QString(), Record(QStringLiteral("E")));
    EXPECT_EQ(Printed(), QStringLiteral("[3] E: "));
    Type("five\n");
    ASSERT_TRUE(Until([&] { return answers.size() == 5; }));
    EXPECT_EQ(answers.back(), QStringLiteral("E=five"));
}

TEST_F(TerminalQuestionsTest, AtTheEndOfTheInputNobodyAnswers)
{
    TTerminalSocketDialogs socket1(*fQuestions, 1);
    TTerminalSocketDialogs socket2(*fQuestions, 2);
    std::vector<QString> answers;
    const auto Record = [&answers](std::optional<QString> s) {
        answers.push_back(s.value_or(QStringLiteral("none")));
    };
    socket1.AskInputBox(QString(), QStringLiteral("A"), QString(), Record);
    socket2.AskInputBox(QString(), QStringLiteral("B"), QString(), Record);
    // The last line counts without its line break.
    Type("last");
    EndInput();
    ASSERT_TRUE(Until([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers, (std::vector<QString>{QStringLiteral("last"), QStringLiteral("none")}));
    socket1.AskInputBox(QString(), QStringLiteral("C"), QString(), Record);
    ASSERT_EQ(answers.size(), 3U);
    EXPECT_EQ(answers.back(), QStringLiteral("none"));
}

} // namespace
