#include "ConsoleRunTest.h"

#include "core/MsgExceptions.h"

#include "TestEnvironment.h"

#include <fcntl.h>
#include <stdlib.h>

namespace {

TEST(OperatorAnswersTest, ParseLine)
{
    const struct
    {
        const char* sLine;
        bool bAnswer;
        EAnswerKind eKind;
        const char* sText;
        int iKey;
        EAnswerButton eButton;
        bool bStop;
    } cases[] = {
        {"", false, akText, "", 0, abYes, false},
        {"   \t", false, akText, "", 0, abYes, false},
        {"# comment", false, akText, "", 0, abYes, false},
        {"   # indented comment", false, akText, "", 0, abYes, false},
        {"  Anna Smith \r", true, akText, "Anna Smith", 0, abYes, false},
        {"Serial # 12", true, akText, "Serial # 12", 0, abYes, false},
        {"\\# not a comment ", true, akText, "# not a comment ", 0, abYes, false},
        {"\\yes", true, akText, "yes", 0, abYes, false},
        {"\\", true, akText, "", 0, abYes, false},
        {"\\\\x", true, akText, "\\x", 0, abYes, false},
        {"key:Enter", true, akKey, "key:Enter", Qt::Key_Return, abYes, false},
        {"key: escape ", true, akKey, "key: escape", Qt::Key_Escape, abYes, false},
        {"Key:Key_Enter", true, akKey, "Key:Key_Enter", Qt::Key_Enter, abYes, false},
        {"key:f5", true, akKey, "key:f5", Qt::Key_F5, abYes, false},
        {"key:A", true, akKey, "key:A", Qt::Key_A, abYes, false},
        {"key:space", true, akKey, "key:space", Qt::Key_Space, abYes, false},
        {"YES", true, akButton, "YES", 0, abYes, false},
        {"no", true, akButton, "no", 0, abNo, false},
        {"ok", true, akButton, "ok", 0, abOk, false},
        {" next ", true, akButton, "next", 0, abNext, false},
        {"Cancel", true, akButton, "Cancel", 0, abCancel, false},
        {"stop", true, akStopBox, "stop", 0, abYes, true},
        {"NoStop", true, akStopBox, "NoStop", 0, abYes, false},
        {"yes please", true, akText, "yes please", 0, abYes, false},
        {"keys:Enter", true, akText, "keys:Enter", 0, abYes, false},
    };
    for (const auto& c : cases) {
        const std::optional<TOperatorAnswer> answer = TOperatorAnswers::ParseLine(QString::fromUtf8(c.sLine));
        ASSERT_EQ(answer.has_value(), c.bAnswer) << c.sLine;
        if (!answer)
            continue;
        EXPECT_EQ(answer->eKind, c.eKind) << c.sLine;
        EXPECT_EQ(answer->sText, QString::fromUtf8(c.sText)) << c.sLine;
        if (c.eKind == akKey) {
            EXPECT_EQ(answer->iKey, c.iKey) << c.sLine;
        } else if (c.eKind == akButton) {
            EXPECT_EQ(answer->eButton, c.eButton) << c.sLine;
        } else if (c.eKind == akStopBox) {
            EXPECT_EQ(answer->bStop, c.bStop) << c.sLine;
        }
    }
}

TEST(OperatorAnswersTest, FileErrorsNameTheLine)
{
    try {
        TOperatorAnswers::FromText(QStringLiteral("Anna\r\n\r\n# keys\r\nkey:Entr\r\n"),
                                   QStringLiteral("a.txt"));
        ADD_FAILURE() << "an unknown key name must be refused";
    } catch (const EError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("a.txt, line 4: Unknown key name \"Entr\""));
    }
    for (const char* sLine : {"key:", "key:Key_", "key:Nothing"})
        EXPECT_THROW(TOperatorAnswers::ParseLine(QString::fromUtf8(sLine)), EError) << sLine;

    TTestDir dir;
    EXPECT_THROW(TOperatorAnswers::FromFile(dir.FilePath(QStringLiteral("missing.txt"))), EError);
    // A byte-order mark is no part of the first answer.
    const QString sFile = dir.Write(QStringLiteral("answers.txt"), "\xEF\xBB\xBFJos\xC3\xA9\nkey:Escape\n");
    TOperatorAnswers answers = TOperatorAnswers::FromFile(sFile);
    EXPECT_EQ(answers.Remaining(), 2);
    EXPECT_EQ(answers.AskText(QStringLiteral("Operator name")),
              std::optional<QString>(QStringLiteral("José")));
    EXPECT_EQ(answers.AskKey(QStringLiteral("Key")), std::optional<int>(Qt::Key_Escape));
    EXPECT_EQ(answers.AskKey(QStringLiteral("Key")), std::nullopt) << "after the last answer";
}

TEST(OperatorAnswersTest, AnAnswerOutOfStepEndsTheAnswers)
{
    std::vector<QString> errors;
    TMsgClass::Instance().SetOnNewMsg([&](const void*, TMsgId aId, const QString& s) {
        if (aId.TypeNo() == eError)
            errors.push_back(s);
    });
    TOperatorAnswers answers =
        TOperatorAnswers::FromText(QStringLiteral("Anna\nok\nnext\nstop\n"), QStringLiteral("answers"));
    EXPECT_EQ(answers.AskText(QStringLiteral("Operator name")),
              std::optional<QString>(QStringLiteral("Anna")));
    // The final dialog has no OK button.
    EXPECT_EQ(answers.AskButton(QStringLiteral("Next run or cancel"), {abNext, abCancel}), std::nullopt);
    EXPECT_EQ(answers.AskButton(QStringLiteral("Next run or cancel"), {abNext, abCancel}), std::nullopt);
    EXPECT_EQ(answers.AskStopBox(QStringLiteral("Stop Test Process")), std::nullopt);
    EXPECT_EQ(answers.Remaining(), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("Answer line 2 \"ok\" is no answer to \"Next run or cancel\" "
                                        "([next/cancel] expected); the answers end here"));
    TMsgClass::ReleaseSingleton();
}

TEST(OperatorAnswersTest, LabelledAnswersWaitForTheirQuestion)
{
    const std::optional<TOperatorAnswer> labelled =
        TOperatorAnswers::ParseLine(QStringLiteral(" [Serial number:]  key:Enter "));
    ASSERT_TRUE(labelled);
    EXPECT_EQ(labelled->sLabel, QStringLiteral("Serial number:"));
    EXPECT_EQ(labelled->eKind, akKey);
    for (const char* sLine : {"[Label]", "[Label]   ", "[Label] # a comment", "[A] [B] x"})
        EXPECT_THROW(TOperatorAnswers::ParseLine(QString::fromUtf8(sLine)), EError) << sLine;
    // Without a closing bracket or a name it is a text as before.
    for (const char* sLine : {"[no label", "[] x"}) {
        const std::optional<TOperatorAnswer> text = TOperatorAnswers::ParseLine(QString::fromUtf8(sLine));
        ASSERT_TRUE(text) << sLine;
        EXPECT_EQ(text->eKind, akText) << sLine;
        EXPECT_TRUE(text->sLabel.isEmpty()) << sLine;
    }

    std::vector<QString> infos;
    TMsgClass::Instance().SetOnNewMsg([&](const void*, TMsgId aId, const QString& s) {
        if (aId.TypeNo() == eInfo)
            infos.push_back(s);
    });
    // A passing run asks every question: labelled and positional answers each find theirs, also
    // when the file lists a labelled one early.
    TOperatorAnswers passing = TOperatorAnswers::FromText(
        QStringLiteral("[Label] PSU7-0042\nAnna\nkey:Enter\n[next run or cancel?] cancel\n"),
        QStringLiteral("a"));
    EXPECT_EQ(passing.AskText(QStringLiteral("Operator name")),
              std::optional<QString>(QStringLiteral("Anna")));
    EXPECT_EQ(passing.AskKey(QStringLiteral("Key for 1.1. Press Enter")), std::optional<int>(Qt::Key_Return));
    EXPECT_EQ(passing.AskText(QStringLiteral("Label: Serial number"),
                              {QStringLiteral("LABEL"), QStringLiteral("x")}),
              std::optional<QString>(QStringLiteral("PSU7-0042")));
    EXPECT_EQ(passing.AskButton(QStringLiteral("Next run or cancel"), {abNext, abCancel}),
              std::optional<EAnswerButton>(abCancel));
    EXPECT_EQ(passing.Remaining(), 0);
    EXPECT_TRUE(infos.empty());

    // A failure skipped the label and the key: the final dialog finds its own answer, and the
    // answers of the questions that were not asked are dropped with a note.
    TOperatorAnswers failing = TOperatorAnswers::FromText(
        QStringLiteral("Anna\n[Label] PSU7-0042\nkey:Enter\n[Next run or cancel] cancel\nyes\n"),
        QStringLiteral("a"));
    EXPECT_EQ(failing.AskText(QStringLiteral("Operator name")),
              std::optional<QString>(QStringLiteral("Anna")));
    EXPECT_EQ(failing.AskButton(QStringLiteral("Next run or cancel"), {abNext, abYes, abCancel}),
              std::optional<EAnswerButton>(abCancel));
    EXPECT_EQ(infos, (std::vector<QString>{
                         QStringLiteral("Answer line 2 \"PSU7-0042\" skipped: its question was not asked"),
                         QStringLiteral("Answer line 3 \"key:Enter\" skipped: its question was not asked")}));
    ASSERT_NE(failing.NextAnswer(), nullptr);
    EXPECT_EQ(failing.NextAnswer()->iLine, 5);
    EXPECT_EQ(failing.Remaining(), 1);

    // A question without a labelled answer of its own takes the next positional one; a labelled
    // answer of the wrong kind is out of step like any other.
    TOperatorAnswers wrong =
        TOperatorAnswers::FromText(QStringLiteral("[Label] key:Enter\nAnna\n"), QStringLiteral("a"));
    EXPECT_EQ(wrong.AskText(QStringLiteral("Label")), std::nullopt);
    EXPECT_TRUE(wrong.OutOfStep());
    TMsgClass::ReleaseSingleton();
}

TEST(OperatorAnswersTest, NoSourceAnswersNothing)
{
    TOperatorAnswers answers;
    EXPECT_EQ(answers.AskText(QStringLiteral("Operator name")), std::nullopt);
    EXPECT_EQ(answers.AskKey(QStringLiteral("Key")), std::nullopt);
    EXPECT_EQ(answers.AskStopBox(QStringLiteral("Stop")), std::nullopt);
}

TEST(OperatorAnswersTest, ConsoleQuestionsAskUntilTheAnswerFits)
{
    TPipe input;
    input.Write("  Anna  \nmaybe\nNEXT\n\nkey:F1\nstop");
    input.CloseWrite();
    QString sPrompts;
    QTextStream prompt(&sPrompts);
    TOperatorAnswers answers = TOperatorAnswers::Console(input.ReadFd(), prompt);
    EXPECT_EQ(answers.AskText(QStringLiteral("Operator name")),
              std::optional<QString>(QStringLiteral("Anna")));
    EXPECT_EQ(answers.AskButton(QStringLiteral("Next run or cancel"), {abNext, abCancel}),
              std::optional<EAnswerButton>(abNext));
    // An empty line is the question's default.
    EXPECT_EQ(answers.AskStopBox(QStringLiteral("Stop Test Process")), std::nullopt);
    EXPECT_EQ(answers.AskKey(QStringLiteral("Key")), std::optional<int>(Qt::Key_F1));
    // The last line needs no line break; after it the input has ended.
    EXPECT_EQ(answers.AskStopBox(QStringLiteral("Stop Test Process")), std::optional<bool>(true));
    EXPECT_EQ(answers.AskText(QStringLiteral("Operator name")), std::nullopt);
    EXPECT_FALSE(answers.Interrupted());
    prompt.flush();
    EXPECT_EQ(sPrompts,
              QStringLiteral("Operator name: Next run or cancel [next/cancel]: Please answer with a button.\n"
                             "Next run or cancel [next/cancel]: Stop Test Process [stop/nostop]: "
                             "Key [Enter, Escape or a key name]: Stop Test Process [stop/nostop]: "
                             "Operator name: "));
}

TEST(OperatorAnswersTest, KeyNames)
{
    EXPECT_EQ(TOperatorAnswers::KeyName(Qt::Key_Return), QStringLiteral("Enter"));
    EXPECT_EQ(TOperatorAnswers::KeyName(Qt::Key_Enter), QStringLiteral("Key_Enter"));
    EXPECT_EQ(TOperatorAnswers::KeyName(Qt::Key_Escape), QStringLiteral("Escape"));
    // The name given for a key reads back as that key.
    for (const int iKey : {int(Qt::Key_Space), int(Qt::Key_F12), int(Qt::Key_Z), int(Qt::Key_Escape),
                           int(Qt::Key_Return), int(Qt::Key_Enter)})
        EXPECT_EQ(TOperatorAnswers::KeyFromName(TOperatorAnswers::KeyName(iKey)), std::optional<int>(iKey));
}

TEST(OperatorAnswersTest, SourceFollowsTheOptionsAndTheTerminal)
{
    QString sPrompts;
    QTextStream prompt(&sPrompts);
    TRunOptions options;
    TPipe pipe;
    // A pipe (a CI job's input) is nobody to ask: the run must not wait on it.
    EXPECT_EQ(AnswersForOptions(options, pipe.ReadFd(), prompt).Source(), TOperatorAnswers::asNone);
    EXPECT_EQ(AnswersForOptions(options, -1, prompt).Source(), TOperatorAnswers::asNone);

    const int iMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(iMaster, 0);
    ASSERT_EQ(::grantpt(iMaster), 0);
    ASSERT_EQ(::unlockpt(iMaster), 0);
    const int iTerminal = ::open(::ptsname(iMaster), O_RDWR | O_NOCTTY);
    ASSERT_GE(iTerminal, 0);
    EXPECT_EQ(AnswersForOptions(options, iTerminal, prompt).Source(), TOperatorAnswers::asConsole);

    // An answers file wins over the terminal.
    TTestDir dir;
    options.sAnswersFile = dir.Write(QStringLiteral("answers.txt"), "next\n");
    const TOperatorAnswers answers = AnswersForOptions(options, iTerminal, prompt);
    EXPECT_EQ(answers.Source(), TOperatorAnswers::asList);
    EXPECT_EQ(answers.Remaining(), 1);
    ::close(iTerminal);
    ::close(iMaster);
}

} // namespace
