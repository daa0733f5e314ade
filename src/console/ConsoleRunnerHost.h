#pragma once

#include "execution/RunnerHost.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QSocketNotifier;
class QTextStream;
class TMsgLog;
class TOperatorAnswers;
class TProcessRunner;
class TRunSummary;

// The runner's operator face on the console: prints what a window would show and takes the
// operator's part from the answers. Nothing here waits for a person unless the answers come
// from a terminal.
class TConsoleRunnerHost : public IRunnerHost
{
public:
    TConsoleRunnerHost(TOperatorAnswers& aAnswers, QTextStream& aOut, TMsgLog* aLog = nullptr);

    // The name given on the command line; it is asked for only when it is empty.
    void SetOperatorName(const QString& sName) { fsOperator = sName; }
    // The definition's file label, the final dialog's caption.
    void SetCaption(const QString& sCaption) { fsCaption = sCaption; }
    // Whether a new run could begin at all: a "next" run that finds no active node never ends, so
    // the caller stops waiting for it when NothingToStart says so.
    void SetCanStart(std::function<bool()> aCanStart) { fCanStart = std::move(aCanStart); }
    bool NothingToStart() const { return fbNothingToStart; }
    // The steps of the run, for the closing summary: each failure's reason and the counts.
    void SetSummary(TRunSummary* aSummary) { fSummary = aSummary; }
    // --runs: the runs still to do, counted down at every final dialog, which then starts the next
    // run or ends without a question; null asks the operator after every run.
    void SetRunsLeft(int* piRunsLeft) { fiRunsLeft = piRunsLeft; }

    std::optional<QString> AskOperatorName() override;
    void ShowInformation(const QString& sText) override;
    bool ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailedJobs) override;

    TTreeNode* SelectedNode() const override { return fSelected; }
    void SelectNode(TTreeNode* aNode) override { fSelected = aNode; }
    void ClearSelection() override { fSelected = nullptr; }
    void MakeVisible(TTreeNode* /*aNode*/) override {}
    void SetTestCaseHeader(const QString& sText) override;
    void AddLogSeparator() override;

private:
    TOperatorAnswers& fAnswers;
    QTextStream& fOut;
    TMsgLog* fLog;
    std::optional<QString> fsOperator;
    QString fsCaption;
    std::function<bool()> fCanStart;
    bool fbNothingToStart = false;
    TRunSummary* fSummary = nullptr;
    int* fiRunsLeft = nullptr;
    TTreeNode* fSelected = nullptr;
};

// Answers a command that waits for a key: the next answer, offered from the event loop, or
// ciKeyNoAnswer when there is none. At a terminal the key is read when it is typed, so the loop
// goes on meanwhile (a measuring command keeps measuring).
class TConsoleKeyAnswerer : public QObject
{
    Q_OBJECT

public:
    TConsoleKeyAnswerer(TProcessRunner& aRunner, TOperatorAnswers& aAnswers, QTextStream& aOut,
                        QObject* aParent = nullptr);
    ~TConsoleKeyAnswerer() override;

private:
    QString KeyQuestion() const;
    QStringList KeyQuestionNames() const;
    void WaitChanged(bool bWaiting);
    void OfferNext();
    void ConsoleReadable();
    void Offer(int iKey);
    void StopReading();

    TProcessRunner& fRunner;
    TOperatorAnswers& fAnswers;
    QTextStream& fOut;
    QSocketNotifier* fNotifier = nullptr;
    bool fbOfferQueued = false;
    bool fbPrompted = false;
};
