#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class TPgConnection;

// What a report covers: a period, optionally one station and one definition, and the value-log
// column that holds the units' serial numbers.
struct TReportOptions
{
    QString sConnection;
    QDateTime dtFrom;    // inclusive
    QDateTime dtTo;      // exclusive
    QString sStation;    // the station name (or host name); empty: every station
    QString sDefinition; // the definition's path or label; empty: every definition
    QString sSerialColumn = QStringLiteral("SerialNr");
    QStringList slUnits;  // serial numbers whose runs the page shows in any case
    QString sTimeZone;    // the days' time zone; empty: the system's
    int iLatestRuns = 50; // the runs table
    int iParetoSteps = 15;
    int iMeasuredSteps = 20; // the measured steps with the lowest Cpk
    int iUnits = 200;        // retested or failed units listed

    // The last seven days up to the end of today (today and the six days before it).
    static TReportOptions LastWeek();
    // Today only.
    static TReportOptions Today();
};

// Runs of one station (or all, sStation empty) on one day (or the whole period, sDay empty).
struct TReportCounts
{
    QString sDay; // "2026-12-07"
    QString sStation;
    qint64 iRuns = 0;
    qint64 iPassed = 0;
    qint64 iFailed = 0;
    qint64 iStopped = 0;
    qint64 iUnits = 0;       // units whose first run in the period was here
    qint64 iFirstPassed = 0; // of those, the units whose first run passed

    std::optional<double> Yield() const;
    std::optional<double> FirstPassYield() const;
    void Add(const TReportCounts& aOther);
};

// A step that failed, with its failures in the period.
struct TReportFailure
{
    QString sDefinition;
    QString sNodePath;
    qint64 iFailures = 0;
    qint64 iRuns = 0;
    QString sLastError;
    QString sLastFailure;
    QStringList slRunIds; // the latest runs it failed in
};

struct TTrendPoint
{
    double rTime = 0; // seconds since the epoch, the middle of the bucket
    double rMean = 0;
    double rMin = 0;
    double rMax = 0;
    qint64 iCount = 0;
};

// The values one step measured in the period.
struct TReportMeasure
{
    QString sDefinition;
    QString sNodePath;
    qint64 iCount = 0;
    qint64 iFailed = 0;
    double rMean = 0;
    std::optional<double> rStdDev; // none with a single value
    double rMin = 0;
    double rMax = 0;
    std::optional<double> rLow; // the latest limits
    std::optional<double> rHigh;
    std::optional<double> rCpk;
    double rBinFrom = 0; // the histogram's range and bins
    double rBinTo = 0;
    std::vector<qint64> Bins;
    std::vector<TTrendPoint> Trend;
};

struct TReportStep
{
    int iSeq = 0;
    QString sNodeNumber;
    QString sNodePath;
    QString sResult;
    QString sErrorText;
    QString sLogValue;
    std::optional<double> rValue;
    std::optional<double> rLow;
    std::optional<double> rHigh;
};

struct TReportRun
{
    QString sRunId;
    QString sStarted;
    QString sStation;
    QString sDefinition;
    QString sOperator;
    QString sSerial;
    QString sResult;
    int iFailedSteps = 0;
    qint64 iDurationMs = 0;
    std::vector<TReportStep> Steps;
};

// One run of a unit: its attempt number counts the unit's runs in the period.
struct TUnitRun
{
    QString sRunId;
    QString sStarted;
    QString sStation;
    QString sResult;
    int iAttempt = 1;
    QString sFailures; // "path: error" per failed step, one a line
};

struct TReportUnit
{
    QString sSerial;
    std::vector<TUnitRun> Runs;
};

// Everything the page shows, as the database computed it.
struct TReportData
{
    TReportOptions Options;
    QString sServer; // "results on db.example"
    QString sMadeAt; // when the report was made
    QStringList slStations;
    std::vector<TReportCounts> Days;          // per day and station
    std::vector<TReportCounts> DayTotals;     // per day, every station
    std::vector<TReportCounts> StationTotals; // per station, the period
    TReportCounts Total;
    qint64 iFailedSteps = 0; // all failed steps, the Pareto's whole
    std::vector<TReportFailure> Failures;
    std::vector<TReportMeasure> Measures;
    std::vector<TReportRun> Runs;
    std::vector<TReportUnit> Units;
};

// Reads a report's figures from the result database: each section is one aggregation query, so
// the work stays on the server whatever the number of steps.
class TResultReport
{
public:
    // Connects, reads and closes. False with sError ("cannot reach the result database: ...",
    // "... holds no TZK results").
    static bool Collect(const TReportOptions& aOptions, TReportData& aData, QString& sError);
    static bool Collect(TPgConnection& aConnection, const TReportOptions& aOptions, TReportData& aData,
                        QString& sError);
};
