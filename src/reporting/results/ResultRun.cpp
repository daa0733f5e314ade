#include "ResultRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// The database's JSON type cannot hold the character 0 in a text: it becomes "?", as the value
// log writes control characters.
QJsonValue Text(const QString& sText)
{
    if (!sText.contains(QChar(0)))
        return sText;
    QString s = sText;
    s.replace(QChar(0), QLatin1Char('?'));
    return s;
}

// JSON has no infinities: a limit nobody can reach is no limit.
QJsonValue Number(double rValue)
{
    return std::isfinite(rValue) ? QJsonValue(rValue) : QJsonValue();
}

QJsonValue Time(const QDateTime& dtTime)
{
    return dtTime.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QString RunIdText(const QUuid& aRunId)
{
    return aRunId.toString(QUuid::WithoutBraces);
}

QByteArray TResultRun::ToJson() const
{
    QJsonArray steps;
    for (const TResultStep& step : Steps) {
        QJsonObject object{
            {QStringLiteral("seq"), step.iSeq},
            {QStringLiteral("node_number"), Text(step.sNodeNumber)},
            {QStringLiteral("node_path"), Text(step.sNodePath)},
            {QStringLiteral("label"), Text(step.sLabel)},
            {QStringLiteral("result"), step.sResult},
            {QStringLiteral("error_text"), step.sErrorText.isEmpty() ? QJsonValue() : Text(step.sErrorText)},
            {QStringLiteral("log_value"), step.sLogValue ? Text(*step.sLogValue) : QJsonValue()},
            {QStringLiteral("started_at"), Time(step.dtStart)},
            {QStringLiteral("duration_ms"), step.iDurationMs},
        };
        if (step.Measurement && std::isfinite(step.Measurement->rValue)) {
            object.insert(QStringLiteral("meas_value"), step.Measurement->rValue);
            object.insert(QStringLiteral("meas_low"), Number(step.Measurement->rLow));
            object.insert(QStringLiteral("meas_high"), Number(step.Measurement->rHigh));
        }
        steps.append(object);
    }
    QJsonArray values;
    int iIndex = 0;
    for (const TResultValue& value : Values) {
        values.append(QJsonObject{
            {QStringLiteral("col_index"), ++iIndex},
            {QStringLiteral("name"), Text(value.sName)},
            {QStringLiteral("value"), Text(value.sValue)},
        });
    }
    QJsonObject run{
        {QStringLiteral("run_id"), RunIdText(RunId)},
        {QStringLiteral("host_name"), Text(sHostName)},
        {QStringLiteral("station_name"), Text(sStationName)},
        {QStringLiteral("definition_file"), Text(sDefinitionFile)},
        {QStringLiteral("file_label"), Text(sFileLabel)},
        {QStringLiteral("file_version"), Text(sFileVersion)},
        {QStringLiteral("operator"), Text(sOperator)},
        {QStringLiteral("started_at"), Time(dtStart)},
        {QStringLiteral("duration_ms"), iDurationMs},
        {QStringLiteral("result"), sResult},
        {QStringLiteral("failed_steps"), iFailedSteps},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("values"), values},
    };
    // Runs of socket 1 (every run of a station of one socket) keep the form they had before sockets.
    if (iSocket != 1)
        run.insert(QStringLiteral("socket"), iSocket);
    return QJsonDocument(run).toJson(QJsonDocument::Compact);
}
