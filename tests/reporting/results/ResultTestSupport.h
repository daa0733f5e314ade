#pragma once

#include "PostgresTestServer.h"
#include "TestEnvironment.h"

#include "core/MsgLog.h"
#include "reporting/results/ResultDatabase.h"
#include "reporting/results/ResultRun.h"

#include <gtest/gtest.h>

#include <memory>

// The test program's PostgreSQL server, started by the first test that asks and stopped at the
// program's end (a test may stop and start it); every test works in a database of its own.
TPostgresTestServer& TestServer();

// A run of iSteps steps: every third fails with an error text, every step but the last has a
// value-log value; the value-log line has a serial-number column.
TResultRun MakeRun(int iSteps, const QString& sSerial, const QString& sResult = QStringLiteral("passed"),
                   const QDateTime& dtStart = QDateTime::currentDateTimeUtc());

// Base of the tests against the server: a fresh database, a spool folder and the message log.
class ResultServerTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    TPostgresTestServer& Server() { return TestServer(); }
    // Settings for this test's database as sUser.
    TResultDatabaseSettings Settings(const QString& sUser = QStringLiteral("tzk")) const;
    // A started station with short retry pauses.
    std::unique_ptr<TResultDatabase> Station(const TResultDatabaseSettings& aSettings);
    std::unique_ptr<TResultDatabase> Station() { return Station(Settings()); }
    // A single value from this test's database.
    QString Value(const QString& sSql) { return Server().Value(sSql, fsDatabase); }
    int Count(const QString& sTable)
    {
        return Value(QStringLiteral("SELECT count(*) FROM ") + sTable).toInt();
    }
    // Log lines that contain sText.
    int LogLines(const QString& sText) const;
    QString LogText() const;

    TTestDir fDir;
    TMsgLog fLog;
    QString fsDatabase;
};
