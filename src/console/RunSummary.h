#pragma once

#include <QObject>
#include <QString>

#include <set>
#include <vector>

class TProcessRunner;
class TTestTree;
class TTreeNode;

// The steps (function nodes: nodes without children) of the latest run of a headless process:
// how many passed and failed, why each failure failed, and how many the run did not execute
// (jumped over, skipped by the failure policy, disabled). A new run starts the count afresh.
class TRunSummary : public QObject
{
    Q_OBJECT

public:
    TRunSummary(TProcessRunner& aRunner, const TTestTree& aTree, QObject* aParent = nullptr);

    int Passed() const { return fiPassed; }
    int Failed() const { return int(fFailures.size()); }
    int Skipped() const { return fiSkipped; }

    // "Steps: 3 passed, 1 failed, 2 skipped"
    QString CountLine() const;
    // The reason of a line of the final dialog's failure list ("Error: 1.1. voltage"): the error
    // text of the first failure of that step not taken yet, its lines joined; empty when unknown.
    QString TakeReason(const QString& sFailedJobLine);

    // The function nodes of aTree, in tree order, that are not in aRun.
    static std::vector<const TTreeNode*> StepsNotRun(const TTestTree& aTree,
                                                     const std::set<const TTreeNode*>& aRun);

private:
    struct TFailure
    {
        QString sName;
        QString sReason;
        bool bTaken = false;
    };

    void NodeFinished(TTreeNode* aNode);
    void ProcessFinished();
    void OpenRun();

    const TTestTree& fTree;
    bool fbRunOpen = false;
    int fiPassed = 0;
    int fiSkipped = 0;
    std::vector<TFailure> fFailures;
    std::set<const TTreeNode*> fRun;
};
