#include "ConsoleRunnerHost.h"

#include "OperatorAnswers.h"
#include "RunSummary.h"

#include "core/MsgClasses.h"
#include "core/MsgLog.h"
#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

TConsoleRunnerHost::TConsoleRunnerHost(TOperatorAnswers& aAnswers, QTextStream& aOut, TMsgLog* aLog)
    : fAnswers(aAnswers), fOut(aOut), fLog(aLog)
{}

std::optional<QString> TConsoleRunnerHost::AskOperatorName()
{
    // The command line's name is offered once; when the runner finds it empty it asks again and
    // the answers have their say.
    if (fsOperator) {
        const QString sName = *fsOperator;
        fsOperator.reset();
        return sName;
    }
    const std::optional<QString> sName = fAnswers.AskText(QStringLiteral("Operator name"));
    if (sName && fAnswers.Source() == TOperatorAnswers::asList) {
        fOut << QStringLiteral("Operator: ") << *sName << Qt::endl;
    }
    return sName;
}

void TConsoleRunnerHost::ShowInformation(const QString& sText)
{
    fOut << QStringLiteral("Information: ") << sText << Qt::endl;
}

bool TConsoleRunnerHost::ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailedJobs)
{
    if (!fsCaption.isEmpty())
        fOut << fsCaption << QStringLiteral(": ");
    fOut << sLabel << '\n';
    if (!bPassed) {
        for (const QString& sFailed : aFailedJobs) {
            fOut << QStringLiteral("  ") << sFailed;
            const QString sReason = fSummary ? fSummary->TakeReason(sFailed) : QString();
            if (!sReason.isEmpty())
                fOut << QStringLiteral(": ") << sReason;
            fOut << '\n';
        }
    }
    if (fSummary)
        fOut << fSummary->CountLine() << '\n';
    fOut.flush();
    bool bNext = false;
    if (fiRunsLeft) {
        // The number of runs was given: the final dialog asks nothing.
        if (*fiRunsLeft > 0)
            --*fiRunsLeft;
        bNext = *fiRunsLeft > 0;
    } else {
        const std::optional<EAnswerButton> eAnswer =
            fAnswers.AskButton(QStringLiteral("Next run or cancel"), {abNext, abYes, abCancel, abNo});
        bNext = eAnswer && (*eAnswer == abNext || *eAnswer == abYes);
    }
    if (!bNext)
        return false;
    // The runner's Start reports a run without an active node itself; that run ends at once.
    fbNothingToStart = fCanStart && !fCanStart();
    fOut << QStringLiteral("Next run") << Qt::endl;
    return true;
}

void TConsoleRunnerHost::SetTestCaseHeader(const QString& sText)
{
    fOut << sText.trimmed() << Qt::endl;
}

void TConsoleRunnerHost::AddLogSeparator()
{
    if (fLog)
        fLog->AddSeparator();
    else
        fOut << Qt::endl;
}

// ---------------------------------------------------------------------------------------------

TConsoleKeyAnswerer::TConsoleKeyAnswerer(TProcessRunner& aRunner, TOperatorAnswers& aAnswers,
                                         QTextStream& aOut, QObject* aParent)
    : QObject(aParent), fRunner(aRunner), fAnswers(aAnswers), fOut(aOut)
{
    connect(&fRunner, &TProcessRunner::KeyWaitChanged, this, &TConsoleKeyAnswerer::WaitChanged);
}

TConsoleKeyAnswerer::~TConsoleKeyAnswerer() = default;

QStringList TConsoleKeyAnswerer::KeyQuestionNames() const
{
    // A labelled key answer names the step, with or without its number ("1.2. Press Enter").
    const TTreeNode* pNode = fRunner.CurrentNode();
    if (!pNode)
        return {};
    static const QRegularExpression number(QStringLiteral("^[0-9.]+\\s+"));
    QString sLabel = pNode->Text();
    sLabel.remove(number);
    return {pNode->Text(), sLabel};
}

QString TConsoleKeyAnswerer::KeyQuestion() const
{
    // The step's own text says which key it wants ("Press Enter to go on").
    const TTreeNode* pNode = fRunner.CurrentNode();
    return pNode ? QStringLiteral("Key for ") + pNode->Text() : QStringLiteral("Key for the waiting command");
}

void TConsoleKeyAnswerer::WaitChanged(bool bWaiting)
{
    if (!bWaiting) {
        StopReading();
        return;
    }
    if (fAnswers.Source() == TOperatorAnswers::asConsole && !fAnswers.InputEnded()) {
        if (!fbPrompted) {
            fAnswers.Prompt(KeyQuestion(), akKey);
            fbPrompted = true;
        }
        if (!fNotifier) {
            fNotifier = new QSocketNotifier(fAnswers.InputFd(), QSocketNotifier::Read, this);
            connect(fNotifier, &QSocketNotifier::activated, this, &TConsoleKeyAnswerer::ConsoleReadable);
        }
        fNotifier->setEnabled(true);
        // Typed ahead: a line may be waiting already.
        if (!fbOfferQueued) {
            fbOfferQueued = true;
            QTimer::singleShot(0, this, [this] {
                fbOfferQueued = false;
                if (fRunner.HasKeyHook())
                    ConsoleReadable();
            });
        }
        return;
    }
    // The command is still inside its Execute: the key comes from a fresh pass of the loop.
    if (!fbOfferQueued) {
        fbOfferQueued = true;
        QTimer::singleShot(0, this, &TConsoleKeyAnswerer::OfferNext);
    }
}

void TConsoleKeyAnswerer::OfferNext()
{
    fbOfferQueued = false;
    if (!fRunner.HasKeyHook())
        return;
    std::optional<int> iKey;
    if (fAnswers.Source() != TOperatorAnswers::asConsole)
        iKey = fAnswers.AskKey(KeyQuestion(), KeyQuestionNames());
    if (iKey)
        fOut << QStringLiteral("Key: ") << TOperatorAnswers::KeyName(*iKey) << Qt::endl;
    Offer(iKey.value_or(ciKeyNoAnswer));
}

void TConsoleKeyAnswerer::Offer(int iKey)
{
    if (fRunner.OfferKey(iKey) || !fRunner.HasKeyHook())
        return;
    if (iKey == ciKeyNoAnswer) {
        // Only a Stop (Ctrl+C) ends such a command now.
        TMsg::Warning(QStringLiteral("The waiting command takes no key and no operator can answer"));
        StopReading();
        return;
    }
    fOut << QStringLiteral("The waiting command ignores the key ") << TOperatorAnswers::KeyName(iKey)
         << Qt::endl;
    if (fAnswers.Source() == TOperatorAnswers::asConsole) {
        fAnswers.Prompt(KeyQuestion(), akKey);
        return;
    }
    if (!fbOfferQueued) {
        fbOfferQueued = true;
        QTimer::singleShot(0, this, &TConsoleKeyAnswerer::OfferNext);
    }
}

void TConsoleKeyAnswerer::ConsoleReadable()
{
    if (fNotifier && fNotifier->isEnabled())
        fAnswers.ReadAvailable();
    while (fRunner.HasKeyHook()) {
        const std::optional<QString> sLine = fAnswers.TakeLine();
        if (!sLine)
            break;
        TOperatorAnswer answer;
        if (TOperatorAnswers::ParseConsoleLine(*sLine, akKey, answer) != TOperatorAnswers::cpAnswer) {
            fOut.flush();
            fAnswers.Prompt(QStringLiteral("Please answer with a key. ") + KeyQuestion(), akKey);
            continue;
        }
        Offer(answer.iKey);
    }
    if (fRunner.HasKeyHook() && fAnswers.InputEnded()) {
        StopReading();
        Offer(ciKeyNoAnswer);
    }
}

void TConsoleKeyAnswerer::StopReading()
{
    if (fNotifier)
        fNotifier->setEnabled(false);
    fbPrompted = false;
}
