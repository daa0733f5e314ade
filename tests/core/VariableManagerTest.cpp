#include "core/VariableManager.h"
#include "core/FormatSettings.h"
#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

struct Received
{
    TMsgTypeId eType;
    QString sText;
};

class VariableManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TFormatSettings& settings = TFormatSettings::App();
        settings.cDecimalSeparator = QLatin1Char('.');
        settings.cThousandSeparator = QLatin1Char('\'');
        TMsgClass::Instance().SetOnNewMsg([this](const void*, TMsgId aId, const QString& aText) {
            fReceived.push_back({TMsgTypeId(aId.TypeNo()), aText});
        });
    }
    void TearDown() override
    {
        TVariableManager::InstanceRelease();
        TMsgClass::ReleaseSingleton();
        TFormatSettings::ResetApp();
    }

    std::vector<QString> Texts(TMsgTypeId eType) const
    {
        std::vector<QString> result;
        for (const Received& r : fReceived)
            if (r.eType == eType)
                result.push_back(r.sText);
        return result;
    }

    TVariableManager& fVars = TVariableManager::Instance();
    std::vector<Received> fReceived;
};

TEST_F(VariableManagerTest, SetValueDeclaresThenAssignsOnlyTheSameType)
{
    fVars.SetValue(QStringLiteral("N"), 0);
    fVars.SetValue(QStringLiteral("R"), 0.0);
    fVars.SetValue(QStringLiteral("S"), QString());
    fVars.SetValue(QStringLiteral("n"), std::int64_t(-5));
    fVars.SetValue(QStringLiteral("r"), 2.5);
    fVars.SetValue(QStringLiteral("s"), QStringLiteral("abc"));
    EXPECT_EQ(fVars.Count(), 3);
    EXPECT_EQ(fVars.GetAsInt(QStringLiteral("N")), -5);
    EXPECT_EQ(fVars.GetAsReal(QStringLiteral("R")), 2.5);
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("S")), QStringLiteral("abc"));

    const struct
    {
        std::function<void()> f;
        std::uint32_t uId;
    } cases[] = {
        {[&] { fVars.SetValue(QStringLiteral("S"), 1); }, 0x0A120A},
        {[&] { fVars.SetValue(QStringLiteral("N"), 1.0); }, 0x0A1214},
        {[&] { fVars.SetValue(QStringLiteral("R"), QStringLiteral("x")); }, 0x0A121E},
    };
    for (const auto& c : cases) {
        const EMsg e = RaisedMsg(c.f);
        EXPECT_EQ(e.Id().Value, c.uId);
        EXPECT_TRUE(e.Text().startsWith(QStringLiteral("Invalid data type for variable \"")))
            << e.Text().toStdString();
    }
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("R")), QStringLiteral("2.5"));
}

TEST_F(VariableManagerTest, NamesIgnoreCaseButKeepTheFirstSpelling)
{
    fVars.SetValue(QStringLiteral("Count"), 1);
    fVars.SetValue(QStringLiteral("COUNT"), 7);
    ASSERT_EQ(fVars.Count(), 1);
    EXPECT_EQ(fVars.Name(0), QStringLiteral("Count"));
    EXPECT_EQ(fVars.GetAsInt(QStringLiteral("count")), 7);
    EXPECT_TRUE(fVars.Confirm(QStringLiteral("cOUNT"), ectIsInteger));
    // Texts must use the declared spelling.
    EXPECT_EQ(fVars.InsertValues(QStringLiteral("%count/%Count")), QStringLiteral("%count/7"));
}

TEST_F(VariableManagerTest, ReadingUnknownOrMistypedVariablesRaises)
{
    fVars.SetValue(QStringLiteral("N"), 3);
    fVars.SetValue(QStringLiteral("S"), QStringLiteral("x"));
    const struct
    {
        std::function<void()> f;
        std::uint32_t uId;
        const char* sText;
    } cases[] = {
        {[&] { fVars.GetAsInt(QStringLiteral("X")); }, 0x0A130B, "Undefined variable \"X\"!"},
        {[&] { fVars.GetAsInt(QStringLiteral("S")); }, 0x0A130C, "Invalid data type for variable \"S\"!"},
        {[&] { fVars.GetAsReal(QStringLiteral("X")); }, 0x0A140B, "Undefined variable \"X\"!"},
        {[&] { fVars.GetAsReal(QStringLiteral("N")); }, 0x0A140C, "Invalid data type for variable \"N\"!"},
        {[&] { fVars.GetAsStr(QStringLiteral("X")); }, 0x0A150B, "Undefined variable \"X\"!"},
    };
    for (const auto& c : cases) {
        const EMsg e = RaisedMsg(c.f);
        EXPECT_EQ(e.Id().Value, c.uId);
        EXPECT_EQ(e.Text().toStdString(), c.sText);
    }
    // Any type reads as text.
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("N")), QStringLiteral("3"));
}

TEST_F(VariableManagerTest, ConfirmAndGetType)
{
    fVars.SetValue(QStringLiteral("I"), 0);
    fVars.SetValue(QStringLiteral("F"), 0.0);
    fVars.SetValue(QStringLiteral("S"), QString());
    const struct
    {
        const char* sName;
        EVariableTypes eType;
        bool bDeclared, bInteger, bFloat, bString;
    } cases[] = {
        {"I", evtInteger, true, true, false, false},
        {"F", evtFloat, true, false, true, false},
        {"S", evtString, true, false, false, true},
        {"X", evtNone, false, false, false, false},
    };
    for (const auto& c : cases) {
        const QString sName = QString::fromLatin1(c.sName);
        SCOPED_TRACE(c.sName);
        EXPECT_EQ(fVars.GetType(sName), c.eType);
        EXPECT_EQ(fVars.Confirm(sName, ectIsDeclared), c.bDeclared);
        EXPECT_EQ(fVars.Confirm(sName, ectIsInteger), c.bInteger);
        EXPECT_EQ(fVars.Confirm(sName, ectIsFloat), c.bFloat);
        EXPECT_EQ(fVars.Confirm(sName, ectIsString), c.bString);
        EXPECT_FALSE(fVars.Confirm(sName, ectNone));
    }
}

TEST_F(VariableManagerTest, FloatTextForm)
{
    const struct
    {
        double rValue;
        const char* sText;
    } cases[] = {
        {0.1, "0.1"},     {1.0 / 3.0, "0.333333333333333"},
        {1e-5, "1E-005"}, {0.0, "0"},
        {-2.5, "-2.5"},   {100.0, "100"},
        {1e20, "1E020"},  {0.0001, "0.0001"},
    };
    for (const auto& c : cases) {
        fVars.SetValue(QStringLiteral("R"), c.rValue);
        EXPECT_EQ(fVars.InsertValues(QStringLiteral("%R")).toStdString(), c.sText);
    }
    TFormatSettings::App().cDecimalSeparator = QLatin1Char(',');
    fVars.SetValue(QStringLiteral("R"), 2.5);
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("R")), QStringLiteral("2,5"));
}

TEST_F(VariableManagerTest, UpdateInteger)
{
    fVars.SetValue(QStringLiteral("N"), 0);
    const struct
    {
        const char* sText;
        bool bOk;
        std::int64_t iValue;
    } cases[] = {
        {"1'000", true, 1000},
        {"-12", true, -12},
        {"+7", true, 7},
        {"  42", true, 42},
        {"$1F", true, 31},
        {"0x1F", true, 31},
        {"0X1f", true, 31},
        {"x10", true, 16},
        {"X10", true, 16},
        {"-$10", true, -16},
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"$FFFFFFFFFFFFFFFF", true, -1},
        {"12.5", false, 0},
        {"42 ", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"1e3", false, 0},
        {"- 5", false, 0},
        {"$1G", false, 0},
        {"9223372036854775808", false, 0},
        {"$10000000000000000", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sText);
        fVars.SetValue(QStringLiteral("N"), std::int64_t(99));
        EXPECT_EQ(fVars.Update(QStringLiteral("n"), QString::fromLatin1(c.sText)), c.bOk);
        EXPECT_EQ(fVars.GetAsInt(QStringLiteral("N")), c.bOk ? c.iValue : 99);
    }
    fReceived.clear();
    EXPECT_FALSE(fVars.Update(QStringLiteral("N"), QStringLiteral("12.5\r")));
    EXPECT_EQ(Texts(eError),
              std::vector<QString>{QStringLiteral("Can not convert \"12.5\\0D\" to integer \"N\"")});
}

TEST_F(VariableManagerTest, UpdateFloatUsesTheApplicationSeparators)
{
    fVars.SetValue(QStringLiteral("F"), 0.0);
    const struct
    {
        QChar cDecimal;
        QChar cThousand;
        const char* sText;
        bool bOk;
        double rValue;
    } cases[] = {
        {'.', '\'', "3,5", false, 0},
        {',', '.', "3,5", true, 3.5},
        {'.', ',', "3,5", true, 35},
        {'.', '\'', "1'000.25", true, 1000.25},
        {'.', '\'', " -2.5e-3 ", true, -0.0025},
        {'.', '\'', "1E5", true, 1e5},
        {'.', '\'', ".5", true, 0.5},
        {'.', '\'', "abc", false, 0},
        {'.', '\'', "1e", false, 0},
        {'.', '\'', ".", false, 0},
        {'.', '\'', "", false, 0},
        {'.', '\'', "1e999", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sText);
        TFormatSettings::App().cDecimalSeparator = c.cDecimal;
        TFormatSettings::App().cThousandSeparator = c.cThousand;
        fVars.SetValue(QStringLiteral("F"), 9.0);
        EXPECT_EQ(fVars.Update(QStringLiteral("F"), QString::fromLatin1(c.sText)), c.bOk);
        EXPECT_DOUBLE_EQ(fVars.GetAsReal(QStringLiteral("F")), c.bOk ? c.rValue : 9.0);
    }
    // The text form reads back.
    fVars.SetValue(QStringLiteral("F"), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(fVars.Update(QStringLiteral("F"), fVars.GetAsStr(QStringLiteral("F"))));
    EXPECT_TRUE(std::isinf(fVars.GetAsReal(QStringLiteral("F"))));

    TFormatSettings::App().cDecimalSeparator = QLatin1Char('.');
    TFormatSettings::App().cThousandSeparator = QLatin1Char('\'');
    fReceived.clear();
    EXPECT_FALSE(fVars.Update(QStringLiteral("F"), QStringLiteral("3,5")));
    EXPECT_EQ(Texts(eError), std::vector<QString>{QStringLiteral("Can not convert \"3,5\" to float \"F\"")});
}

TEST_F(VariableManagerTest, UpdateStringAndUnknownName)
{
    fVars.SetValue(QStringLiteral("S"), QString());
    EXPECT_TRUE(fVars.Update(QStringLiteral("S"), QStringLiteral(" 1'000\r\n")));
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("S")), QStringLiteral(" 1'000\r\n"));
    EXPECT_TRUE(Texts(eError).empty());

    EXPECT_FALSE(fVars.Update(QStringLiteral("Missing"), QStringLiteral("1")));
    EXPECT_EQ(Texts(eError), std::vector<QString>{QStringLiteral("No variable \"Missing\" declared!")});
    EXPECT_FALSE(fVars.Confirm(QStringLiteral("Missing"), ectIsDeclared));
}

TEST_F(VariableManagerTest, SetIntToStrAcceptsOneIntegerPlaceholder)
{
    const struct
    {
        std::int64_t iValue;
        const char* sFormat;
        const char* sText;
    } good[] = {
        {7, "%.3d", "007"},    {42, "%.6d", "000042"}, {255, "SN-%x", "SN-FF"},
        {255, "%.4X", "00FF"}, {-7, "%d", "-7"},       {7, "%4d|", "   7|"},
        {7, "%-4d|", "7   |"}, {5, "%d%%", "5%"},      {7, "%u", "7"},
    };
    for (const auto& c : good) {
        SCOPED_TRACE(c.sFormat);
        EXPECT_TRUE(fVars.SetIntToStr(c.iValue, QStringLiteral("S"), QString::fromLatin1(c.sFormat)));
        EXPECT_EQ(fVars.GetAsStr(QStringLiteral("S")).toStdString(), c.sText);
    }
    EXPECT_TRUE(Texts(eError).empty());

    fVars.SetValue(QStringLiteral("S"), QStringLiteral("kept"));
    const struct
    {
        const char* sFormat;
        const char* sError;
    } bad[] = {
        {"%s", "Format '%s' invalid or incompatible with argument"},
        {"%.2f", "Format '%.2f' invalid or incompatible with argument"},
        {"no placeholder", "Format 'no placeholder' invalid or incompatible with argument"},
        {"%d-%d", "No argument for format '%d-%d'"},
        {"%*d", "Format '%*d' invalid or incompatible with argument"},
        {"%0:d", "Format '%0:d' invalid or incompatible with argument"},
        {"%", "Format '%' invalid or incompatible with argument"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.sFormat);
        fReceived.clear();
        EXPECT_FALSE(fVars.SetIntToStr(7, QStringLiteral("S"), QString::fromLatin1(c.sFormat)));
        EXPECT_EQ(Texts(eError),
                  std::vector<QString>{QStringLiteral("Integer to string converstion failed: ") +
                                       QString::fromLatin1(c.sError)});
    }
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("S")), QStringLiteral("kept"))
        << "a failed conversion stores nothing";

    // Storing into a variable of another type is reported the same way.
    fVars.SetValue(QStringLiteral("N"), 0);
    fReceived.clear();
    EXPECT_FALSE(fVars.SetIntToStr(7, QStringLiteral("N"), QStringLiteral("%d")));
    ASSERT_EQ(Texts(eError).size(), 1u);
    EXPECT_TRUE(Texts(eError)[0].startsWith(
        QStringLiteral("Integer to string converstion failed: Invalid data type for variable \"N\"!")));
}

TEST_F(VariableManagerTest, SetStrToStrFillsThePattern)
{
    EXPECT_TRUE(fVars.SetStrToStr(QStringLiteral("123456"), QStringLiteral("S"), QStringLiteral("##-##")));
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("S")), QStringLiteral("12-3456"));
    fVars.SetValue(QStringLiteral("N"), 0);
    EXPECT_THROW(fVars.SetStrToStr(QStringLiteral("1"), QStringLiteral("N"), QStringLiteral("#")), EMsg);
}

TEST_F(VariableManagerTest, ResetValuesKeepsDeclarations)
{
    fVars.SetValue(QStringLiteral("N"), 5);
    fVars.SetValue(QStringLiteral("F"), 1.5);
    fVars.SetValue(QStringLiteral("S"), QStringLiteral("x"));
    fVars.ResetValues();
    EXPECT_EQ(fVars.Count(), 3);
    EXPECT_EQ(fVars.GetAsInt(QStringLiteral("N")), 0);
    EXPECT_EQ(fVars.GetAsReal(QStringLiteral("F")), 0.0);
    EXPECT_EQ(fVars.GetAsStr(QStringLiteral("S")), QString());
    EXPECT_EQ(fVars.GetType(QStringLiteral("S")), evtString);
}

TEST_F(VariableManagerTest, InsertValuesFollowsDeclarationOrder)
{
    fVars.SetValue(QStringLiteral("Outer"), QStringLiteral("(%Tail)"));
    fVars.SetValue(QStringLiteral("Id"), 7);
    fVars.SetValue(QStringLiteral("IdText"), QStringLiteral("seven"));
    fVars.SetValue(QStringLiteral("Later"), QStringLiteral("L"));
    fVars.SetValue(QStringLiteral("Pct"), QStringLiteral("%"));
    fVars.SetValue(QStringLiteral("Self"), QStringLiteral("<%Self>"));
    fVars.SetValue(QStringLiteral("Tail"), QStringLiteral("T"));
    // "Ref" is declared after "Later" and refers to it, "Early" refers back to "Id".
    fVars.SetValue(QStringLiteral("Ref"), QStringLiteral("[%Later]"));
    fVars.SetValue(QStringLiteral("Early"), QStringLiteral("[%Id]"));
    fVars.SetValue(QStringLiteral("First"), QStringLiteral("[%Tail]"));

    const struct
    {
        const char* sText;
        const char* sResult;
    } cases[] = {
        {"%IdText", "7Text"},
        {"%Id and %Id", "7 and 7"},
        {"100% %Id%", "100% 7%"},
        {"%Outer", "(T)"},     // a later variable is replaced inside an inserted value
        {"%Ref", "[%Later]"},  // Later was handled before Ref inserted its reference
        {"%Early", "[%Id]"},   // Id came before Early
        {"%First", "[%Tail]"}, // Tail came before First as well
        {"%PctTail", "T"},     // the inserted "%" completes a later reference
        {"%Self%Self", "<%Self><%Self>"},
        {"%", "%"},
        {"%%", "%%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fVars.InsertValues(QString::fromLatin1(c.sText)).toStdString(), c.sResult) << c.sText;

    TVariableManager vars;
    vars.SetValue(QStringLiteral("Ab"), QStringLiteral("x"));
    vars.SetValue(QStringLiteral("A"), QStringLiteral("y"));
    vars.SetValue(QStringLiteral("Lead"), QStringLiteral("%A"));
    vars.SetValue(QStringLiteral("Z"), QStringLiteral("%Ab"));
    EXPECT_EQ(vars.InsertValues(QStringLiteral("%Ab %A")), QStringLiteral("x y"));
    EXPECT_EQ(vars.InsertValues(QStringLiteral("%Lead %Z")), QStringLiteral("%A %Ab"));
}

TEST_F(VariableManagerTest, InsertValuesTracesTheReplacements)
{
    fVars.SetValue(QStringLiteral("U"), 5);
    fVars.SetValue(QStringLiteral("Name"), QStringLiteral("a\"b"));
    EXPECT_EQ(fVars.InsertValues(QStringLiteral("%Name: %U V")), QStringLiteral("a\"b: 5 V"));
    EXPECT_EQ(Texts(eTrace),
              std::vector<QString>{QStringLiteral("Replaced variables: %U=\"5\"; %Name=\"a\"b\"; ")});

    fReceived.clear();
    EXPECT_EQ(fVars.InsertValues(QStringLiteral("no references")), QStringLiteral("no references"));
    EXPECT_EQ(fVars.InsertValues(QStringLiteral("50% %u")), QStringLiteral("50% %u"));
    EXPECT_TRUE(fReceived.empty());
}

// The straightforward form of the replacement: every variable in declaration order on the text
// as it stands.
QString ReferenceInsert(const std::vector<std::pair<QString, QString>>& vars, QString sText)
{
    for (const auto& [sName, sValue] : vars) {
        const QString sKey = QLatin1Char('%') + sName;
        if (sText.contains(sKey))
            sText.replace(sKey, sValue);
    }
    return sText;
}

TEST_F(VariableManagerTest, InsertValuesMatchesTheStraightforwardReplacement)
{
    // Short names from a small alphabet give many prefixes and overlaps; values bring new
    // references and stray "%" signs.
    std::mt19937 random(12345);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const QString sAlphabet = QStringLiteral("abAB%x ");
    auto word = [&](int iMax, bool bPercent) {
        QString s;
        const int n = pick(iMax + 1);
        for (int i = 0; i < n; ++i)
            s += sAlphabet.at(pick(bPercent ? sAlphabet.size() : 4));
        return s;
    };
    for (int iRound = 0; iRound < 300; ++iRound) {
        TVariableManager vars;
        std::vector<std::pair<QString, QString>> reference;
        const int nVars = 1 + pick(8);
        for (int i = 0; i < nVars; ++i) {
            const QString sName = word(3, false);
            if (vars.Confirm(sName, ectIsDeclared))
                continue;
            const QString sValue = word(6, true);
            vars.SetValue(sName, sValue);
            reference.emplace_back(sName, sValue);
        }
        for (int iText = 0; iText < 10; ++iText) {
            const QString sText = word(16, true);
            ASSERT_EQ(vars.InsertValues(sText), ReferenceInsert(reference, sText))
                << "text \"" << sText.toStdString() << "\" in round " << iRound;
        }
    }
}

TEST_F(VariableManagerTest, InstanceReleaseEmptiesTheStore)
{
    TVariableManager::Instance().SetValue(QStringLiteral("X"), 1);
    EXPECT_TRUE(TVariableManager::Instance().Confirm(QStringLiteral("X"), ectIsDeclared));
    TVariableManager::InstanceRelease();
    EXPECT_EQ(TVariableManager::Instance().Count(), 0);
}

} // namespace

// The socket number: read like any integer, written by nothing but its declaration.
TEST_F(VariableManagerTest, ReadOnlyVariableRefusesEveryWrite)
{
    fVars.DeclareReadOnly(QStringLiteral("_Socket"), 3);
    fVars.SetValue(QStringLiteral("Other"), 1);
    EXPECT_TRUE(fVars.IsReadOnly(QStringLiteral("_socket")));
    EXPECT_FALSE(fVars.IsReadOnly(QStringLiteral("Other")));
    EXPECT_EQ(fVars.InsertValues(QStringLiteral("unit %_Socket")), QStringLiteral("unit 3"));

    for (const auto& write : std::vector<std::function<void()>>{
             [&] { fVars.SetValue(QStringLiteral("_Socket"), 4); },
             [&] { fVars.SetValue(QStringLiteral("_Socket"), 4.0); },
             [&] { fVars.SetValue(QStringLiteral("_Socket"), QStringLiteral("4")); }}) {
        const EMsg e = RaisedMsg(write);
        EXPECT_EQ(e.Text(), QStringLiteral("Variable \"_Socket\" is read-only!"));
    }
    EXPECT_FALSE(fVars.Update(QStringLiteral("_Socket"), QStringLiteral("4")));
    ASSERT_EQ(Texts(eError).size(), 1u);
    EXPECT_EQ(Texts(eError)[0], QStringLiteral("Variable \"_Socket\" is read-only!"));
    fVars.ResetValues();
    EXPECT_EQ(fVars.GetAsInt(QStringLiteral("_Socket")), 3);
    EXPECT_EQ(fVars.GetAsInt(QStringLiteral("Other")), 0);
    // Declaring it again (a session given its socket) changes the value and keeps it read-only.
    fVars.DeclareReadOnly(QStringLiteral("_Socket"), 2);
    EXPECT_EQ(fVars.GetAsInt(QStringLiteral("_Socket")), 2);
    EXPECT_TRUE(fVars.IsReadOnly(QStringLiteral("_Socket")));
}
