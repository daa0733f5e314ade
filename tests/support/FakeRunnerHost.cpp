#include "FakeRunnerHost.h"

#include "execution/Job.h"

std::optional<QString> TFakeRunnerHost::AskOperatorName()
{
    ++iNameQuestions;
    return sOperator;
}

bool TFakeRunnerHost::ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailed)
{
    finals.push_back({bPassed, sLabel, aFailed});
    if (iNextRuns > 0) {
        --iNextRuns;
        return true;
    }
    return false;
}

void TFakeFailureReport::SetFailedJob(const TJob& aJob)
{
    if (sPending.isEmpty())
        sPending = aJob.GetName();
}

void TFakeFailureReport::ShowQueuedError(const QString& sOperator)
{
    if (sPending.isEmpty())
        return;
    shown.push_back(sPending);
    shownTo.push_back(sOperator);
    events.push_back(QStringLiteral("report ") + sPending);
    sPending.clear();
}
