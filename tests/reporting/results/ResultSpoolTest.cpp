#include "TestEnvironment.h"

#include "reporting/results/ResultSpool.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QStringList SpoolFiles(const QString& sFolder, const QString& sPattern = QStringLiteral("*.spool"))
{
    return QDir(sFolder).entryList({sPattern}, QDir::Files, QDir::Name);
}

QByteArray Payload(int i)
{
    return QByteArrayLiteral("{\"run\":") + QByteArray::number(i) + '}';
}

// The pending runs of the folder as a fresh program finds them.
QList<QByteArray> Reopened(const QString& sFolder, QStringList* pWarnings = nullptr)
{
    TResultSpool spool(sFolder);
    EXPECT_TRUE(spool.Open()) << spool.Error().toStdString();
    if (pWarnings)
        *pWarnings = spool.Warnings();
    QList<QByteArray> runs;
    for (int i = 0; i < spool.PendingCount(); ++i)
        runs.append(spool.PendingPayload(i));
    return runs;
}

TEST(ResultSpoolTest, RunsStayUntilAcknowledgedAcrossRestarts)
{
    TTestDir dir;
    const QString sFolder = dir.FilePath(QStringLiteral("spool"));
    std::vector<QUuid> ids;
    {
        TResultSpool spool(sFolder);
        ASSERT_TRUE(spool.Open()) << spool.Error().toStdString();
        EXPECT_EQ(spool.PendingCount(), 0);
        for (int i = 1; i <= 4; ++i) {
            ids.push_back(QUuid::createUuid());
            ASSERT_TRUE(spool.Append(ids.back(), Payload(i))) << spool.Error().toStdString();
        }
        spool.Acknowledge(1);
        ASSERT_EQ(spool.PendingCount(), 3);
        EXPECT_EQ(spool.PendingRunId(0), ids[1]);
        EXPECT_EQ(spool.PendingPayload(2), Payload(4));
        EXPECT_EQ(spool.PendingBytes(0), Payload(2).size());
        EXPECT_EQ(spool.PendingBytes(), Payload(2).size() + Payload(3).size() + Payload(4).size());
    }
    // A program started later finds the three in their order.
    {
        TResultSpool spool(sFolder);
        ASSERT_TRUE(spool.Open());
        ASSERT_EQ(spool.PendingCount(), 3);
        EXPECT_EQ(spool.PendingRunId(0), ids[1]);
        EXPECT_EQ(spool.PendingPayload(0), Payload(2));
        // Its own runs follow those it adopted.
        ids.push_back(QUuid::createUuid());
        ASSERT_TRUE(spool.Append(ids.back(), Payload(5)));
        EXPECT_EQ(spool.PendingPayload(3), Payload(5));
        spool.Acknowledge(3);
        EXPECT_EQ(spool.PendingCount(), 1);
        // The adopted file had nothing left: it is gone; the program's own file stays.
        EXPECT_EQ(SpoolFiles(sFolder).size(), 1u);
    }
    EXPECT_EQ(Reopened(sFolder), QList<QByteArray>{Payload(5)});
    // Everything acknowledged: the next program deletes the file and starts empty.
    {
        TResultSpool spool(sFolder);
        ASSERT_TRUE(spool.Open());
        spool.Acknowledge(1);
    }
    EXPECT_TRUE(Reopened(sFolder).isEmpty());
    EXPECT_TRUE(SpoolFiles(sFolder).isEmpty());
}

TEST(ResultSpoolTest, TwoProgramsOfOneStationKeepTheirOwnFiles)
{
    TTestDir dir;
    const QString sFolder = dir.FilePath(QStringLiteral("spool"));
    auto first = std::make_unique<TResultSpool>(sFolder);
    ASSERT_TRUE(first->Open());
    ASSERT_TRUE(first->Append(QUuid::createUuid(), Payload(1)));

    TResultSpool second(sFolder);
    ASSERT_TRUE(second.Open());
    EXPECT_EQ(second.PendingCount(), 0) << "the running program's file is not adopted";
    ASSERT_TRUE(second.Append(QUuid::createUuid(), Payload(2)));
    EXPECT_EQ(SpoolFiles(sFolder).size(), 2u);

    // The first program ends with its run unsent: a third one, started now, adopts it, not the
    // second program's.
    first.reset();
    EXPECT_EQ(Reopened(sFolder), QList<QByteArray>{Payload(1)});
}

TEST(ResultSpoolTest, RecordCutShortByACrashIsCutOffAndTheFileGoesOn)
{
    TTestDir dir;
    const QString sFolder = dir.FilePath(QStringLiteral("spool"));
    {
        TResultSpool spool(sFolder);
        ASSERT_TRUE(spool.Open());
        ASSERT_TRUE(spool.Append(QUuid::createUuid(), Payload(1)));
        ASSERT_TRUE(spool.Append(QUuid::createUuid(), Payload(2)));
    }
    const QString sFile = QDir(sFolder).filePath(SpoolFiles(sFolder).value(0));
    const qint64 iFull = QFileInfo(sFile).size();
    // Cases of a second record that did not reach the disk whole: cut inside the payload, inside
    // the header line, and the payload's size on disk but zeros in it (what some file systems
    // leave after a power loss).
    const struct
    {
        const char* sCase;
        int iCut;
        bool bZeros;
    } cases[] = {
        {"payload cut", 4, false}, {"header cut", int(Payload(2).size()) + 10, false}, {"zeros", 0, true}};
    const QByteArray aOriginal = ReadFileBytes(sFile);
    for (const auto& c : cases) {
        QByteArray aDamaged = aOriginal.left(iFull - c.iCut);
        if (c.bZeros)
            aDamaged.replace(aDamaged.size() - Payload(2).size() - 1, Payload(2).size(),
                             QByteArray(Payload(2).size(), '\0'));
        {
            QFile file(sFile);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(aDamaged);
        }
        QStringList warnings;
        EXPECT_EQ(Reopened(sFolder, &warnings), QList<QByteArray>{Payload(1)}) << c.sCase;
        EXPECT_TRUE(warnings.isEmpty()) << c.sCase;
        EXPECT_LT(QFileInfo(sFile).size(), aDamaged.size()) << c.sCase << ": cut off";
    }
    // A run appended after the repair is read back whole.
    {
        TResultSpool spool(sFolder);
        ASSERT_TRUE(spool.Open());
        ASSERT_TRUE(spool.Append(QUuid::createUuid(), Payload(3)));
    }
    EXPECT_EQ(Reopened(sFolder), (QList<QByteArray>{Payload(1), Payload(3)}));
}

TEST(ResultSpoolTest, DamageInsideAFileLosesNoMoreThanItMust)
{
    TTestDir dir;
    const QString sFolder = dir.FilePath(QStringLiteral("spool"));
    {
        TResultSpool spool(sFolder);
        ASSERT_TRUE(spool.Open());
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(spool.Append(QUuid::createUuid(), Payload(i)));
    }
    const QString sFile = QDir(sFolder).filePath(SpoolFiles(sFolder).value(0));
    QByteArray aData = ReadFileBytes(sFile);

    // A changed byte in the second run's payload: its checksum fails, the third run is still read.
    QByteArray aFlipped = aData;
    aFlipped[aFlipped.indexOf(Payload(2)) + 2] = 'X';
    {
        QFile file(sFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(aFlipped);
    }
    QStringList warnings;
    EXPECT_EQ(Reopened(sFolder, &warnings), (QList<QByteArray>{Payload(1), Payload(3)}));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.front().startsWith(QStringLiteral("1 damaged run(s) skipped")))
        << warnings.front().toStdString();

    // A garbled record header: nothing after it can be framed. The runs before it move into a new
    // file, and the damaged file is kept aside for inspection, never read again.
    QByteArray aGarbled = aData;
    const qint64 iSecond = aGarbled.indexOf("\nR ", aGarbled.indexOf(Payload(1))) + 1;
    aGarbled[iSecond] = '?';
    {
        QFile file(sFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(aGarbled);
    }
    EXPECT_EQ(Reopened(sFolder, &warnings), QList<QByteArray>{Payload(1)});
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.front().contains(QStringLiteral("is damaged"))) << warnings.front().toStdString();
    EXPECT_EQ(SpoolFiles(sFolder, QStringLiteral("*.damaged")).size(), 1u);
    EXPECT_EQ(Reopened(sFolder), QList<QByteArray>{Payload(1)});
}

TEST(ResultSpoolTest, FolderThatCannotBeMadeIsAnError)
{
    TTestDir dir;
    const QString sBlocker = dir.WriteText(QStringLiteral("file"), QStringLiteral("x"));
    TResultSpool spool(sBlocker + QStringLiteral("/spool"));
    EXPECT_FALSE(spool.Open());
    EXPECT_TRUE(spool.Error().startsWith(QStringLiteral("Cannot create the spool folder")))
        << spool.Error().toStdString();
}

} // namespace
