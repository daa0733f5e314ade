#pragma once

#include "execution/Command.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

// One executed step of a run, as the result database stores it.
struct TResultStep
{
    int iSeq = 0;        // 1 for the run's first executed step
    QString sNodeNumber; // "2.1."
    QString sNodePath;   // the labels of the enclosing test cases and the step, joined by " / "
    QString sLabel;
    QString sResult; // "passed", "failed", "stopped" or "paused"
    QString sErrorText;
    std::optional<QString> sLogValue;        // the value of the step's value-log column, if it set one
    std::optional<TMeasurement> Measurement; // the number it judged against its limits, if any
    QDateTime dtStart;
    qint64 iDurationMs = 0;
};

// One column of the run's value-log line.
struct TResultValue
{
    QString sName;
    QString sValue;
};

// One finished run of a station: what goes into the spool and from there into the database.
struct TResultRun
{
    QUuid RunId;
    QString sHostName;
    QString sStationName;
    QString sDefinitionFile;
    QString sFileLabel;
    QString sFileVersion;
    QString sOperator;
    QDateTime dtStart;
    qint64 iDurationMs = 0;
    QString sResult; // "passed", "failed" or "stopped"
    int iFailedSteps = 0;
    int iSocket = 1; // the station's test socket; the JSON names it only when it is not 1
    std::vector<TResultStep> Steps;
    std::vector<TResultValue> Values;

    // The run as one compact JSON object, the form the spool keeps and the database reads.
    QByteArray ToJson() const;
};

// The run id as the spool and the database write it: lower-case hex without braces.
QString RunIdText(const QUuid& aRunId);
