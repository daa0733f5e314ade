#include "RunSummary.h"

#include "execution/Job.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"

#include <QRegularExpression>

TRunSummary::TRunSummary(TProcessRunner& aRunner, const TTestTree& aTree, QObject* aParent)
    : QObject(aParent), fTree(aTree)
{
    connect(&aRunner, &TProcessRunner::NodeStarted, this, &TRunSummary::OpenRun);
    connect(&aRunner, &TProcessRunner::NodeFinished, this, &TRunSummary::NodeFinished);
    connect(&aRunner, &TProcessRunner::ProcessFinished, this, &TRunSummary::ProcessFinished);
}

std::vector<const TTreeNode*> TRunSummary::StepsNotRun(const TTestTree& aTree,
                                                       const std::set<const TTreeNode*>& aRun)
{
    std::vector<const TTreeNode*> steps;
    for (int i = 0; i < aTree.Count(); ++i) {
        const TTreeNode* pNode = aTree.Node(i);
        if (pNode->Children().empty() && aRun.count(pNode) == 0)
            steps.push_back(pNode);
    }
    return steps;
}

void TRunSummary::OpenRun()
{
    if (fbRunOpen)
        return;
    fbRunOpen = true;
    fiPassed = 0;
    fiSkipped = 0;
    fFailures.clear();
    fRun.clear();
}

void TRunSummary::NodeFinished(TTreeNode* aNode)
{
    OpenRun();
    if (!aNode || !aNode->Children().empty())
        return;
    fRun.insert(aNode);
    const TJob* pJob = aNode->Job();
    if (pJob && !pJob->Passed())
        fFailures.push_back({aNode->Text(), pJob->ErrorText().trimmed(), false});
    else
        ++fiPassed;
}

void TRunSummary::ProcessFinished()
{
    OpenRun();
    fiSkipped = int(StepsNotRun(fTree, fRun).size());
    fbRunOpen = false;
}

QString TRunSummary::CountLine() const
{
    return QStringLiteral("Steps: %1 passed, %2 failed, %3 skipped")
        .arg(fiPassed)
        .arg(Failed())
        .arg(fiSkipped);
}

QString TRunSummary::TakeReason(const QString& sFailedJobLine)
{
    const int iColon = sFailedJobLine.indexOf(QStringLiteral(": "));
    const QString sName = iColon < 0 ? sFailedJobLine : sFailedJobLine.mid(iColon + 2);
    for (TFailure& failure : fFailures) {
        if (failure.bTaken || failure.sName != sName)
            continue;
        failure.bTaken = true;
        static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\r\n]+\\s*"));
        return QString(failure.sReason).replace(lineBreaks, QStringLiteral(" "));
    }
    return QString();
}
