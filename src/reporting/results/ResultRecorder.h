#pragma once

#include "ResultRun.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>

class TErrorReport;
class TProcessRunner;
class TResultDatabase;
class TTreeNode;

// Follows one runner and hands every complete run to the result database: the run's steps as
// they were executed, the columns of its value-log line, its outcome. The definition's file and
// label come from the error report, which carries them for the printed report.
class TResultRecorder : public QObject
{
    Q_OBJECT

public:
    TResultRecorder(TProcessRunner& aRunner, TResultDatabase& aDatabase, const TErrorReport& aReport,
                    QObject* aParent = nullptr);

    // The run being recorded, if a step has run since the last complete run.
    const std::optional<TResultRun>& OpenRun() const { return fRun; }

private:
    void NodeStarted(TTreeNode* aNode);
    void NodeFinished(TTreeNode* aNode);
    void ProcessFinishing(bool bPassed);
    void ActionsChanged();

    TProcessRunner& fRunner;
    TResultDatabase& fDatabase;
    const TErrorReport& fReport;
    std::optional<TResultRun> fRun;
    QElapsedTimer fRunClock;
    QElapsedTimer fStepClock;
    QDateTime fdtStepStart;
    bool fbStopped = false;
};
