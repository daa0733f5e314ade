#include "language/DefFilePreprocessor.h"
#include "language/DefFileInterpreterBase.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include "CupsTestServer.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

// A definition and the lines the keyword pass sees from it.
struct TListingCase
{
    const char* sText;
    QStringList expected;
};

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
    const TListingCase cases[] = {
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

TEST_F(PreprocessorTest, LongBranchChainsAreWalkedWithoutRecursion)
{
    // Each skipped branch used to nest one call deeper, which overflowed the stack.
    const auto Chain = [](const char* sFirst, const char* sBranch, const char* sLast) {
        QString sText = QString::fromLatin1(sFirst) + QLatin1Char('\n');
        const QString sLine = QString::fromLatin1(sBranch) + QLatin1Char('\n');
        sText.reserve(sText.size() + 100000 * sLine.size() + 40);
        for (int i = 0; i < 100000; ++i)
            sText += sLine;
        return sText + QString::fromLatin1(sLast);
    };
    struct
    {
        QString sText;
        QStringList expected;
    } const cases[] = {
        {Chain("#if false", "#elif false", "#else\nlast\n#endif\nafter"),
         {QStringLiteral("100003: last"), QStringLiteral("100005: after")}},
        {Chain("#ifdef NONE", "#elifdef NONE", "#elifdef NONE\nnone\n#endif\nafter"),
         {QStringLiteral("100005: after")}},
        {Chain("#if true\nfirst", "#elif x", "#else\nlast\n#endif\nafter"),
         {QStringLiteral("2: first"), QStringLiteral("100006: after")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(c.sText), c.expected) << c.sText.left(40).toStdString();
}

TEST_F(PreprocessorTest, ExpansionBeyondTheTotalLimitStopsTheLoad)
{
    // A 4 KB file whose lines each expand to a million characters.
    QString sText = QStringLiteral("#define A ") + QString(1000, QLatin1Char('x')) +
                    QStringLiteral("\n#define B ") + QString(1000, QLatin1Char('A')) + QLatin1Char('\n');
    for (int i = 0; i < 1000; ++i)
        sText += QStringLiteral("B\n");
    const QString sError = Error(sText);
    EXPECT_TRUE(sError.startsWith(fDir.FilePath(QStringLiteral("main.TZD")) + QStringLiteral(", ")))
        << sError.left(300).toStdString();
    EXPECT_TRUE(sError.contains(QStringLiteral(": Definition too large: the preprocessed text exceeds")))
        << sError.left(300).toStdString();
    EXPECT_TRUE(sError.endsWith(QStringLiteral("ID: 03080A:0"))) << sError.toStdString();
}

TEST_F(PreprocessorTest, ManyReplacementsInOneLineDoNotMoveTheRestEachTime)
{
    const QString sMain = fDir.FilePath(QStringLiteral("main.TZD"));
    // Every occurrence of a long line replaced; each replacement forming the next occurrence
    // further left; a value that re-forms its name to the right and grows without end.
    EXPECT_EQ(Run(QStringLiteral("#define ab c\n") + QStringLiteral("ab").repeated(300000)),
              QStringList{QStringLiteral("2: ") + QStringLiteral("c").repeated(300000)});
    EXPECT_EQ(
        Run(QStringLiteral("#define ab b\n") + QStringLiteral("a").repeated(300000) + QStringLiteral("b x")),
        QStringList{QStringLiteral("2: b x")});
    EXPECT_EQ(
        Run(QStringLiteral("#define ab ba\n") + QStringLiteral("a").repeated(1000) + QStringLiteral("bb")),
        QStringList{QStringLiteral("2: bb") + QStringLiteral("a").repeated(1000)});
    EXPECT_TRUE(Error(QStringLiteral("#define ab bbbxaa\nx\nabb"))
                    .startsWith(sMain + QStringLiteral(", 3: Line grows beyond 1048576 characters by the "
                                                       "substitution of \"ab\"")));
}

TEST_F(PreprocessorTest, NamesAreFoundWithoutRegardToCaseOnlyWhereTheyDifferInCase)
{
    const TListingCase cases[] = {
        // A redefinition keeps the first spelling, so only that one is substituted.
        {"#define Name 1\n#define NAME 2\nName NAME", {QStringLiteral("3: 2 NAME")}},
        {"#define Flag\n#ifdef FLAG\nyes\n#endif", {QStringLiteral("3: yes")}},
        {"#define \u00C4b 1\n#define \u00E4B 2\n\u00C4b", {QStringLiteral("3: 2")}},
        {"#define stra\u00DFe 1\n#define STRASSE 2\nstra\u00DFe STRASSE", {QStringLiteral("3: 1 2")}},
        {"#define ab 1\n#define a 2\n#define abc 3\nabcd a ab", {QStringLiteral("4: 1cd 2 1")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(QString::fromUtf8(c.sText)), c.expected) << c.sText;
    EXPECT_EQ(fReader->LastErrors().count(QStringLiteral("Redefinition")), 0);
}

// The substitution rule as it reads: every defined name in the order of its first definition,
// its first occurrence replaced again and again, searching from the start each time.
class TSubstitutionModel
{
public:
    QString Substitute(const QString& sLine) const
    {
        QString sName, sValue;
        if (IsDefine(sLine) && Parse(sLine, sName, sValue) && !sValue.isEmpty())
            return QStringLiteral("#define  ") + sName + QLatin1Char(' ') + Names(sValue);
        return Names(sLine);
    }
    // The line the keyword pass sees, empty for a definition.
    QString Line(const QString& sRead)
    {
        const QString sLine = Substitute(sRead);
        if (!IsDefine(sLine))
            return sLine;
        QString sName, sValue;
        if (!Parse(sLine, sName, sValue))
            return QString();
        for (auto& define : fDefines) {
            if (define.first.compare(sName, Qt::CaseInsensitive) == 0) {
                define.second = sValue;
                return QString();
            }
        }
        fDefines.emplace_back(sName, sValue);
        return QString();
    }

private:
    static bool IsDefine(const QString& s)
    {
        return s.startsWith(QLatin1String("#define "), Qt::CaseInsensitive);
    }
    static bool Parse(const QString& sLine, QString& sName, QString& sValue)
    {
        const QString sRest = sLine.mid(8).trimmed();
        const int iBlank = int(sRest.indexOf(QLatin1Char(' ')));
        sName = iBlank < 0 ? sRest : sRest.left(iBlank);
        sValue = iBlank < 0 ? QString() : sRest.mid(iBlank).trimmed();
        return !sName.isEmpty() && sName != sValue;
    }
    QString Names(QString sText) const
    {
        for (const auto& define : fDefines) {
            const QString sValue = define.second.trimmed();
            if (sValue.isEmpty())
                continue;
            for (int iPos = int(sText.indexOf(define.first)); iPos >= 0;
                 iPos = int(sText.indexOf(define.first))) {
                if (sValue.contains(define.first))
                    throw EError(QStringLiteral("endless"));
                sText.replace(iPos, define.first.size(), sValue);
                if (sText.size() > TDefFilePreprocessor::ciMaxLineLength)
                    throw EError(QStringLiteral("too long"));
            }
        }
        return sText;
    }

    std::vector<std::pair<QString, QString>> fDefines;
};

TEST_F(PreprocessorTest, SubstitutionFollowsTheRuleForRandomDefinitions)
{
    // Few letters, so that names overlap, nest, differ only in case and form across the edges of
    // inserted values.
    std::mt19937 random(22);
    const auto Text = [&random](const char* sAlphabet, int iMin, int iMax) {
        const int iAlphabet = int(std::strlen(sAlphabet));
        QString s;
        for (int i = std::uniform_int_distribution<int>(iMin, iMax)(random); i > 0; --i)
            s += QLatin1Char(sAlphabet[std::uniform_int_distribution<int>(0, iAlphabet - 1)(random)]);
        return s;
    };
    int iCompared = 0;
    for (int iProgram = 0; iProgram < 400; ++iProgram) {
        QStringList slText;
        for (int i = 0; i < 12; ++i) {
            if (std::uniform_int_distribution<int>(0, 1)(random))
                slText.append(QStringLiteral("#define ") + Text("abAB", 1, 3) + QLatin1Char(' ') +
                              Text("abABx", 0, 4));
            else
                slText.append(QStringLiteral("L ") + Text("abABx ", 0, 12));
        }
        QStringList expected;
        TSubstitutionModel model;
        try {
            for (int i = 0; i < slText.size(); ++i) {
                const QString sLine = model.Line(slText.at(i)).trimmed();
                if (!sLine.isEmpty())
                    expected.append(QStringLiteral("%1: %2").arg(i + 1).arg(sLine));
            }
        } catch (const EError&) {
            EXPECT_THROW(Run(slText.join(QLatin1Char('\n'))), EError)
                << slText.join(QLatin1Char('|')).toStdString();
            continue;
        }
        EXPECT_EQ(Run(slText.join(QLatin1Char('\n'))), expected)
            << slText.join(QLatin1Char('|')).toStdString();
        ++iCompared;
    }
    EXPECT_GT(iCompared, 200) << "most programs substitute without an error";
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
