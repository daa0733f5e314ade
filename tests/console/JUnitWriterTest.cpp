#include "ConsoleRunTest.h"
#include "TestContext.h"

#include "console/ExitStatus.h"
#include "console/JUnitWriter.h"
#include "execution/DeviceList.h"
#include "execution/ProcessRunner.h"

#include "TestEnvironment.h"

#include <QFile>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

struct TReadCase
{
    QString sSuite;
    QString sClassName;
    QString sName;
    QString sFailureType;
    QString sFailure;
    bool bFailed = false;
    bool bSkipped = false;
};

struct TReadReport
{
    QString sError;
    QStringList slSuiteTotals; // "name tests failures skipped" of every suite
    QString sTotals;           // "tests failures skipped" of the whole
    std::vector<TReadCase> cases;
};

// Reads the report back with a conforming XML reader; any malformed text is an error.
TReadReport ReadReport(const QString& sFileName)
{
    TReadReport report;
    QFile file(sFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        report.sError = file.errorString();
        return report;
    }
    QXmlStreamReader xml(&file);
    QString sSuite;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("testsuites")) {
            report.sTotals = a.value(QLatin1String("tests")).toString() + QLatin1Char(' ') +
                             a.value(QLatin1String("failures")).toString() + QLatin1Char(' ') +
                             a.value(QLatin1String("skipped")).toString();
        } else if (xml.name() == QLatin1String("testsuite")) {
            sSuite = a.value(QLatin1String("name")).toString();
            report.slSuiteTotals.append(sSuite + QLatin1Char(' ') +
                                        a.value(QLatin1String("tests")).toString() + QLatin1Char(' ') +
                                        a.value(QLatin1String("failures")).toString() + QLatin1Char(' ') +
                                        a.value(QLatin1String("skipped")).toString());
        } else if (xml.name() == QLatin1String("testcase")) {
            report.cases.push_back({sSuite, a.value(QLatin1String("classname")).toString(),
                                    a.value(QLatin1String("name")).toString(), QString(), QString(), false,
                                    false});
        } else if (xml.name() == QLatin1String("failure") && !report.cases.empty()) {
            report.cases.back().bFailed = true;
            report.cases.back().sFailureType = a.value(QLatin1String("type")).toString();
            report.cases.back().sFailure = a.value(QLatin1String("message")).toString();
        } else if (xml.name() == QLatin1String("skipped") && !report.cases.empty()) {
            report.cases.back().bSkipped = true;
        }
    }
    if (xml.hasError())
        report.sError = xml.errorString();
    return report;
}

TEST_F(ConsoleRunTest, JUnitHasOneCasePerFunctionAndSkipsWhatDidNotRun)
{
    TTestDir dir;
    fOptions.sJUnitFile = dir.FilePath(QStringLiteral("report.xml"));
    TTreeNode* pSupply = fBuilder.Case(nullptr, QStringLiteral("Supply"));
    fBuilder.Work(pSupply, QStringLiteral("voltage"));
    TTreeNode* pLoad = fBuilder.Case(pSupply, QStringLiteral("Load test"));
    // A device's reply with control characters and markup in the error text.
    fBuilder.Work(pLoad, QStringLiteral("current <max>"), crFailed, QStringLiteral("got \x02OK\x03 & \"x\""));
    fBuilder.Work(fBuilder.Case(nullptr, QStringLiteral("Skipped")), QStringLiteral("never"));
    fBuilder.Work(fBuilder.Case(nullptr, QStringLiteral("Off"), ecFinalCase), QStringLiteral("power off"));
    fBuilder.Work(nullptr, QStringLiteral("solo"));

    EXPECT_EQ(Run(), ciExitFailed);
    const TReadReport report = ReadReport(fOptions.sJUnitFile);
    ASSERT_TRUE(report.sError.isEmpty()) << report.sError.toStdString();
    EXPECT_EQ(report.sTotals, QStringLiteral("5 1 1"));
    EXPECT_EQ(report.slSuiteTotals, QStringList{QStringLiteral("board 5 1 1")});
    ASSERT_EQ(report.cases.size(), 5u);
    EXPECT_EQ(report.cases[0].sClassName, QStringLiteral("Supply"));
    EXPECT_EQ(report.cases[0].sName, QStringLiteral("1.1. voltage"));
    EXPECT_FALSE(report.cases[0].bFailed);
    EXPECT_EQ(report.cases[1].sClassName, QStringLiteral("Supply.Load test"));
    EXPECT_EQ(report.cases[1].sName, QStringLiteral("1.2.1. current <max>"));
    EXPECT_TRUE(report.cases[1].bFailed);
    EXPECT_EQ(report.cases[1].sFailureType, QStringLiteral("Error"));
    EXPECT_EQ(report.cases[1].sFailure, QStringLiteral("got \\02OK\\03 & \"x\""));
    EXPECT_EQ(report.cases[2].sClassName, QStringLiteral("Off"));
    EXPECT_EQ(report.cases[3].sClassName, QStringLiteral("board")) << "a root function belongs to the suite";
    EXPECT_EQ(report.cases[3].sName, QStringLiteral("4. solo"));
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_FALSE(report.cases[i].bSkipped) << i;
    // The failure policy jumped over the case: its step follows as skipped.
    EXPECT_EQ(report.cases[4].sClassName, QStringLiteral("Skipped"));
    EXPECT_EQ(report.cases[4].sName, QStringLiteral("2.1. never"));
    EXPECT_TRUE(report.cases[4].bSkipped);
    EXPECT_FALSE(report.cases[4].bFailed);
}

TEST_F(ConsoleRunTest, JUnitKeepsEveryRunAndNamesStoppedNodes)
{
    TTestDir dir;
    fOptions.sJUnitFile = dir.FilePath(QStringLiteral("report.xml"));
    fsCaption = QStringLiteral("Board 7");
    TTreeNode* pWait =
        fBuilder.Waiting(fBuilder.Case(nullptr, QStringLiteral("Case")), QStringLiteral("wait"));
    TTestCmd* pCmd = TTreeBuilder::CmdOf(pWait);
    // The first run passes, the operator stops the second.
    pCmd->fOnExecute = [pCmd] {
        if (pCmd->fiExecutions == 1)
            QTimer::singleShot(0, [pCmd] { pCmd->Finish(crOk); });
        else
            QTimer::singleShot(0, [] { dynamic_cast<TProcessRunner&>(*TestContext().Runner()).Stop(); });
    };

    EXPECT_EQ(Run(Answers("next\n")), ciExitFailed);
    const TReadReport report = ReadReport(fOptions.sJUnitFile);
    ASSERT_TRUE(report.sError.isEmpty()) << report.sError.toStdString();
    EXPECT_EQ(report.slSuiteTotals,
              (QStringList{QStringLiteral("Board 7 1 0 0"), QStringLiteral("Board 7 (run 2) 1 1 0")}));
    ASSERT_EQ(report.cases.size(), 2u);
    EXPECT_EQ(report.cases[1].sFailureType, QStringLiteral("Stopped"));
    EXPECT_EQ(report.cases[1].sFailure, QStringLiteral("Process stopped by user"));
}

TEST_F(ConsoleRunTest, JUnitFileThatCannotBeWrittenFailsThePassingRun)
{
    TTestDir dir;
    fOptions.sJUnitFile = dir.FilePath(QStringLiteral("missing/folder/report.xml"));
    fBuilder.Work(nullptr, QStringLiteral("a"));
    EXPECT_EQ(Run(), ciExitFailed);
    EXPECT_TRUE(Out().contains(QStringLiteral("Error: JUnit report not written: "))) << Out().toStdString();
}

} // namespace
