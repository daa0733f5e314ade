#include "language/DefFilePreprocessor.h"
#include "language/DefFileInterpreterBase.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include "CupsTestServer.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class PreprocessorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& s) {
            if (aId.TypeNo() == eTrace)
                fTraces.push_back(s);
        });
    }
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    // The non-empty lines after the pass, each as "line: text".
    QStringList Run(const QString& sText)
    {
        // Every load has a reader of its own, with no defines yet.
        fReader = std::make_unique<TInterpreterReader>();
        fReader->SetOnDefineQuery(fQuery);
        fReader->LoadFromList(fDir.FilePath(QStringLiteral("main.TZD")), sText.split(QLatin1Char('\n')));
        TDefFilePreprocessor(*fReader).Run();
        QStringList lines;
        fReader->Rewind();
        while (!fReader->EndOfFile()) {
            const QString sLine = fReader->GetNextLine();
            if (!sLine.isEmpty())
                lines.append(QString::number(fReader->CurrentData()->LineInFile()) + QStringLiteral(": ") +
                             sLine);
        }
        return lines;
    }
    QString Error(const QString& sText)
    {
        try {
            Run(sText);
        } catch (const EError& e) {
            return e.Message();
        }
        return QStringLiteral("no error");
    }

    TTestDir fDir;
    std::unique_ptr<TInterpreterReader> fReader;
    TDefineQueryEvent fQuery;
    std::vector<QString> fTraces;
};

TEST_F(PreprocessorTest, SubstitutesDefinedNames)
{
    EXPECT_EQ(Run(QStringLiteral("#define NAME 5\n"
                                 "x(\"NAMES\"; NAME)\n"
                                 "#define A 2\n"
                                 "#define B A+1\n"
                                 "y(B)\n"
                                 "#define EMPTY\n"
                                 "EMPTY stays\n"
                                 "#define A 3")),
              (QStringList{QStringLiteral("2: x(\"5S\"; 5)"), QStringLiteral("5: y(2+1)"),
                           QStringLiteral("7: EMPTY stays")}));
    EXPECT_EQ(
        fReader->LastErrors(),
        QStringLiteral("\r\n%1, 8: Redefinition of \"A\"").arg(fDir.FilePath(QStringLiteral("main.TZD"))));
}

TEST_F(PreprocessorTest, LaterNamesFormedByAnInsertedValueAreReplacedToo)
{
    EXPECT_EQ(Run(QStringLiteral("#define X B\n#define AB 7\nAX A X")),
              QStringList{QStringLiteral("3: 7 A B")});
    EXPECT_EQ(Run(QStringLiteral("#define AB 7\n#define X B\nAX")), QStringList{QStringLiteral("3: AB")})
        << "names already passed are not looked at again";
    EXPECT_EQ(Run(QStringLiteral("#define C D\n#define B C\n#define A B\nA")),
              QStringList{QStringLiteral("4: D")})
        << "values are substituted when they are defined";
    EXPECT_EQ(Run(QStringLiteral("#define A B\n#define B C\n#define C D\nA")),
              QStringList{QStringLiteral("4: D")});
}

TEST_F(PreprocessorTest, InvalidAndSelfReferringDefines)
{
    Run(QStringLiteral("#define SAME SAME\nline"));
    EXPECT_TRUE(
        fReader->LastErrors().endsWith(QStringLiteral(", 1: Invalid definition ignored: #define SAME SAME")))
        << fReader->LastErrors().toStdString();
    EXPECT_TRUE(Error(QStringLiteral("#define LOOP xLOOPx\nLOOP"))
                    .contains(QStringLiteral("Define \"LOOP\" contains its own name")));
    EXPECT_TRUE(Error(QStringLiteral("#define A BB\n#define B CCCCCCCCCCCCCCCC\n#define C DDDDDDDDDDDDDDDD\n"
                                     "#define D EEEEEEEEEEEEEEEE\n#define E FFFFFFFFFFFFFFFF\n"
                                     "#define F GGGGGGGGGGGGGGGG\nA"))
                    .contains(QStringLiteral("Line grows beyond")));
}

TEST_F(PreprocessorTest, ConditionalBlocks)
{
    struct
    {
        const char* sText;
        QStringList expected;
    } const cases[] = {
        {"#define DEBUG\n#ifdef DEBUG\nyes\n#else\nno\n#endif", {QStringLiteral("3: yes")}},
        {"#define DEBUG 1\n#ifdef DEBUG\nyes\n#else\nno\n#endif", {QStringLiteral("5: no")}},
        {"#ifndef X\nyes\n#endif\nafter", {QStringLiteral("2: yes"), QStringLiteral("4: after")}},
        {"#define V 2\n#if V = 1\none\n#elif V = 2\ntwo\n#else\nother\n#endif", {QStringLiteral("5: two")}},
        {"#if false\n#if true\na\n#elif true\nb\n#else\nc\n#endif\n#else\nouter\n#endif",
         {QStringLiteral("10: outer")}},
        {"#if TRUE\na\n#elifdef X\nb\n#endif", {QStringLiteral("2: a")}},
        {"#define X\n#if 1 = 0\na\n#elifdef X\nb\n#endif", {QStringLiteral("5: b")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(QString::fromUtf8(c.sText)), c.expected) << c.sText;
    ASSERT_FALSE(fTraces.empty());
    EXPECT_TRUE(fTraces.front().endsWith(QStringLiteral("Condition TRUE for: \u00AB#ifdef DEBUG\u00BB")));
    EXPECT_TRUE(fTraces[1].endsWith(
        QStringLiteral("Condition FALSE for: \u00AB#ifdef DEBUG\u00BB resolved \u00AB#ifdef 1\u00BB")));
}

TEST_F(PreprocessorTest, DirectiveErrorsStopTheLoadWithTheirLocation)
{
    QString sSixteen;
    for (int i = 0; i < 16; ++i)
        sSixteen += QStringLiteral("#if true\n");
    const QString sFile = fDir.FilePath(QStringLiteral("main.TZD"));
    struct
    {
        QString sText;
        QString sError;
    } const cases[] = {
        {sSixteen, sFile + QStringLiteral(", 16: To many load conditions!")},
        {QStringLiteral("a\n#endif"), sFile + QStringLiteral(", 2: To many load condition terminators!")},
        {QStringLiteral("#if true\n#else\n#else\n#endif"),
         sFile + QStringLiteral(", 3: \"#else\" without \"#if\" or \"#ifdef\"!")},
        {QStringLiteral("#elif true"),
         sFile + QStringLiteral(", 1: \"#elif\" without \"#if\" or \"#ifdef\"!")},
        {QStringLiteral("#if 1 +"), sFile + QStringLiteral(", 1: Invalid condition term \"1 +\": ")},
        {QStringLiteral("x\n__AbortWithMessage(\"Wrong station\")"),
         sFile + QStringLiteral(", 2: Wrong station")},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Error(c.sText).startsWith(c.sError)) << Error(c.sText).toStdString();
}

TEST_F(PreprocessorTest, WarningsAndHostileInput)
{
    EXPECT_EQ(Run(QStringLiteral("__ShowWarning(\"Check fixture\")\nline")),
              QStringList{QStringLiteral("2: line")});
    EXPECT_TRUE(fReader->LastErrors().endsWith(QStringLiteral(", 1: Warning message \"Check fixture\"")));
    const QString sLong(1 << 20, QLatin1Char('x'));
    EXPECT_EQ(Run(QStringLiteral("#define y z\n") + sLong).size(), 1);
    EXPECT_EQ(Run(QStringLiteral("#if false\nnever closed")), QStringList())
        << "an open block at the end is no error";
}

TEST_F(PreprocessorTest, DefinitionDocumentQuery)
{
    const QString sDoc = fDir.WriteText(QStringLiteral("doc.html"), QStringLiteral("<p>doc</p>"));
    QString sAsked;
    QString sAnswer = QStringLiteral("Parameter: SN=123&MODE=\"a&b\"");
    fQuery = [&](QString& s) {
        sAsked = s;
        s = sAnswer;
    };
    EXPECT_EQ(Run(QStringLiteral("#ShowDefineDoc %1?station=2\nSN MODE").arg(sDoc)),
              QStringList{QStringLiteral("2: 123 \"a&b\"")});
    EXPECT_EQ(sAsked, sDoc + QStringLiteral("?station=2"));

    sAnswer = QStringLiteral("Cancelled");
    EXPECT_THROW(Run(QStringLiteral("#ShowDefineDoc %1").arg(sDoc)), EOperationCancelled);
    sAnswer = QString();
    EXPECT_TRUE(Error(QStringLiteral("#ShowDefineDoc %1").arg(sDoc))
                    .endsWith(QStringLiteral(": Invalid parameter from definition doc: ")));
    EXPECT_TRUE(Error(QStringLiteral("#ShowDefineDoc %1").arg(fDir.FilePath(QStringLiteral("none.html"))))
                    .contains(QStringLiteral("File not found: ")));
}

TEST_F(PreprocessorTest, PrinterTermFollowsThePrintingSystem)
{
    TCupsTestServer server;
    ASSERT_TRUE(server.Running()) << server.Error().toStdString();
    ASSERT_TRUE(server.AddQueue(QStringLiteral("Label_Printer")));
    EXPECT_EQ(
        Run(QStringLiteral("#if __PrinterInstalled(\"label_printer\")\nprint\n#else\nno printer\n#endif")),
        QStringList{QStringLiteral("2: print")});
    EXPECT_EQ(Run(QStringLiteral("#if __PrinterInstalled(\"Other\")\nprint\n#else\nno printer\n#endif")),
              QStringList{QStringLiteral("4: no printer")});
}

} // namespace
