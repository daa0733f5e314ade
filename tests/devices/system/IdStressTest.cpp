// Serial-number IDs shared by real stations: tzk-run processes working on one ID file at once,
// and a station killed while it rewrites the file.

#include "TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

// A definition that draws and registers IDs in a loop of iLoops passes (failures go on).
QString LoopDefinition(int iLoops)
{
    return QStringLiteral("Set(Integer; Id)\n"
                          "Set(Integer; Count)\n"
                          "Device.Create(SystemControl; Sys)\n"
                          "Test.Case(\"Setup\")\n{\n"
                          "    Sys.Process(\"Go on\"; ContinueOnFailure)\n}\n"
                          "Test.Case(\"Loop\")\n{\n"
                          "    Sys.GetNextID(\"Next\"; \"TZD:ids.txt\"; Id)\n"
                          "    Sys.RegisterID(\"Register\"; \"TZD:ids.txt\"; Id)\n"
                          "    Sys.Calculate(\"Count\"; %Count + 1; Count)\n"
                          "    Sys.Goto(\"Again\"; \"Loop\"; \"%Count < %1\")\n}\n")
        .arg(iLoops);
}

std::unique_ptr<QProcess> StartStation(const QString& sDefinition, const QString& sHome)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), sHome);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), sHome + QStringLiteral("/.config"));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(TZK_RUN_PATH),
                   {QStringLiteral("--operator"), QStringLiteral("ci"), sDefinition});
    return process;
}

// The ID lines after the header, checked to be whole CR LF lines; fails the test otherwise.
QStringList IdLines(const QByteArray& aContent, const QByteArray& aHeader)
{
    EXPECT_TRUE(aContent.startsWith(aHeader)) << aContent.left(200).toStdString();
    EXPECT_TRUE(aContent.size() == aHeader.size() || aContent.endsWith("\r\n")) << "a line cut short";
    QStringList slLines = QString::fromLatin1(aContent.mid(aHeader.size())).split(QStringLiteral("\r\n"));
    slLines.removeLast();
    return slLines;
}

TEST(IdStressTest, TwoStationsRegisterEveryIdExactlyOnce)
{
    TTestDir dir;
    const QByteArray aHeader = "Shared by two stations\r\n#start\r\n";
    const QString sFile = dir.Write(QStringLiteral("ids.txt"), aHeader);
    const QString sDefinition = dir.WriteText(QStringLiteral("loop.TZD"), LoopDefinition(60));
    auto first = StartStation(sDefinition, dir.Path());
    auto second = StartStation(sDefinition, dir.Path());
    int iRefused = 0;
    for (QProcess* pStation : {first.get(), second.get()}) {
        ASSERT_TRUE(pStation->waitForFinished(60000));
        const QString sOutput = QString::fromUtf8(pStation->readAll());
        const QRegularExpressionMatch steps =
            QRegularExpression(QStringLiteral("Steps: (\\d+) passed, (\\d+) failed")).match(sOutput);
        ASSERT_TRUE(steps.hasMatch()) << sOutput.toStdString();
        // Only a refused duplicate may fail a step.
        const int iFailed = steps.captured(2).toInt();
        EXPECT_EQ(int(sOutput.count(QStringLiteral("Error: Duplicate \""))), iFailed)
            << sOutput.toStdString();
        iRefused += iFailed;
    }
    const QStringList slIds = IdLines(ReadFileBytes(sFile), aHeader);
    EXPECT_EQ(int(slIds.size()), 2 * 60 - iRefused) << "every registration that passed is in the file";
    // Each station draws the ID after the last one: the file counts up without gaps or repeats.
    for (int i = 0; i < slIds.size(); ++i)
        ASSERT_EQ(slIds[i], QString::number(i + 1)) << "line " << i + 3;
}

TEST(IdStressTest, AStationKilledWhileRewritingLeavesTheFileWhole)
{
    TTestDir dir;
    // Sorted mode rewrites the file at every draw; IDs of one width keep text order numeric.
    const QByteArray aHeader = "#ranges 100000..999999\r\n#sorted\r\n#start\r\n";
    const QString sFile = dir.Write(QStringLiteral("ids.txt"), aHeader);
    const QString sDefinition = dir.WriteText(QStringLiteral("loop.TZD"), LoopDefinition(1000000));
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> delay(40, 250);
    int iLast = 0;
    for (int iKill = 0; iKill < 12; ++iKill) {
        auto station = StartStation(sDefinition, dir.Path());
        ASSERT_TRUE(station->waitForStarted(10000));
        QThread::msleep(unsigned(delay(random)));
        station->kill();
        ASSERT_TRUE(station->waitForFinished(10000));

        const QStringList slIds = IdLines(ReadFileBytes(sFile), aHeader);
        ASSERT_GE(int(slIds.size()), iLast) << "registered IDs were lost at kill " << iKill;
        for (int i = 0; i < slIds.size(); ++i)
            ASSERT_EQ(slIds[i], QString::number(100000 + i)) << "kill " << iKill << ", line " << i + 4;
        iLast = int(slIds.size());
    }
    EXPECT_GT(iLast, 12) << "the stations registered IDs between the kills";

    // The next station to rewrite the file clears the copies that killed stations left.
    auto last = StartStation(dir.WriteText(QStringLiteral("once.TZD"), LoopDefinition(1)), dir.Path());
    ASSERT_TRUE(last->waitForFinished(10000));
    EXPECT_EQ(QDir(dir.Path()).entryList({QStringLiteral(".ids.txt.*")}, QDir::Files | QDir::Hidden),
              QStringList());
}

} // namespace
