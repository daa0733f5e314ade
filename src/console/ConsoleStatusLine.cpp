#include "ConsoleStatusLine.h"

#include "RunSummary.h"

#include "execution/ProcessRunner.h"
#include "execution/TestTree.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Back to the start of the line and clear it.
constexpr char csErase[] = "\r\x1b[K";

bool WriteAll(int iFd, const char* pData, qint64 iSize)
{
    while (iSize > 0) {
        const ssize_t iWritten = ::write(iFd, pData, std::size_t(iSize));
        if (iWritten < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        pData += iWritten;
        iSize -= iWritten;
    }
    return true;
}

QString Elapsed(qint64 iMilliseconds)
{
    const qint64 iSeconds = iMilliseconds / 1000;
    return QStringLiteral("%1:%2").arg(iSeconds / 60).arg(iSeconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TConsoleStatusLine::TConsoleStatusLine(int iFd, QObject* aParent) : QObject(aParent), fiFd(iFd)
{
    fTimer.setInterval(1000);
    fTimer.setTimerType(Qt::PreciseTimer);
    connect(&fTimer, &QTimer::timeout, this, &TConsoleStatusLine::Draw);
}

TConsoleStatusLine::~TConsoleStatusLine()
{
    Erase();
}

void TConsoleStatusLine::Attach(TProcessRunner& aRunner, const TRunSummary& aSummary)
{
    Detach();
    fRunner = &aRunner;
    fSummary = &aSummary;
    connect(&aRunner, &TProcessRunner::NodeStarted, this, &TConsoleStatusLine::NodeStarted);
    connect(&aRunner, &TProcessRunner::ProcessFinished, this, &TConsoleStatusLine::Stopped);
    connect(&aRunner, &TProcessRunner::KeyWaitChanged, this, &TConsoleStatusLine::SetSuspended);
}

void TConsoleStatusLine::AttachText(std::function<QString()> aText)
{
    Detach();
    fText = std::move(aText);
    fbActive = true;
    fElapsed.start();
    fTimer.start();
    Draw();
}

void TConsoleStatusLine::Detach()
{
    fText = nullptr;
    Stopped();
    if (fRunner)
        disconnect(fRunner, nullptr, this, nullptr);
    fRunner = nullptr;
    fSummary = nullptr;
    fbSuspended = false;
    fsQuestion.clear();
    fbQuestionShown = false;
}

void TConsoleStatusLine::SetQuestion(const QString& sPrompt)
{
    fsQuestion = sPrompt;
    fbQuestionShown = true;
    fbAtLineStart = false;
}

void TConsoleStatusLine::QuestionGone(bool bAtLineStart)
{
    fsQuestion.clear();
    fbQuestionShown = false;
    fbAtLineStart = bAtLineStart;
    Draw();
}

QString TConsoleStatusLine::Text() const
{
    if (fbActive && fText)
        return QStringLiteral("[%1] ").arg(Elapsed(fElapsed.elapsed())) + fText();
    if (!fbActive || !fSummary)
        return QString();
    QString sText = QStringLiteral("[%1] ").arg(Elapsed(fElapsed.elapsed()));
    sText += fsCase;
    if (!fsStep.isEmpty())
        sText += (fsCase.isEmpty() ? QString() : QStringLiteral(" > ")) + fsStep;
    sText += QStringLiteral(" (%1 passed, %2 failed)").arg(fSummary->Passed()).arg(fSummary->Failed());
    return sText;
}

void TConsoleStatusLine::NodeStarted()
{
    const TTreeNode* pNode = fRunner ? fRunner->CurrentNode() : nullptr;
    if (!pNode)
        return;
    if (!fbActive) {
        fbActive = true;
        fElapsed.start();
        fTimer.start();
    }
    if (!pNode->Children().empty()) {
        fsCase = pNode->Text();
        fsStep.clear();
    } else {
        fsCase = pNode->Parent() ? pNode->Parent()->Text() : QString();
        fsStep = pNode->Text();
    }
    Draw();
}

void TConsoleStatusLine::Stopped()
{
    fbActive = false;
    fTimer.stop();
    fsCase.clear();
    fsStep.clear();
    Erase();
}

void TConsoleStatusLine::SetSuspended(bool bSuspended)
{
    fbSuspended = bSuspended;
    if (bSuspended)
        Erase();
    else
        Draw();
}

void TConsoleStatusLine::Draw()
{
    if (!fbActive || fbSuspended || !fbAtLineStart || !fsQuestion.isEmpty())
        return;
    // A line longer than the terminal would wrap, and the erase would clear its last part only.
    const QString sText = Text().left(Width() - 1);
    WriteRaw(QByteArray(csErase) + sText.toUtf8());
    fbShown = true;
}

void TConsoleStatusLine::Erase()
{
    if (!fbShown)
        return;
    WriteRaw(QByteArray(csErase));
    fbShown = false;
}

void TConsoleStatusLine::WriteRaw(const QByteArray& aBytes) const
{
    WriteAll(fiFd, aBytes.constData(), aBytes.size());
}

int TConsoleStatusLine::Width() const
{
    winsize size{};
    if (::ioctl(fiFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return 80;
}

void TConsoleStatusLine::BeforeOutput()
{
    Erase();
    if (fbQuestionShown) {
        WriteRaw(QByteArray(csErase));
        fbQuestionShown = false;
    }
}

void TConsoleStatusLine::AfterOutput(bool bAtLineStart)
{
    fbAtLineStart = bAtLineStart;
    if (!fsQuestion.isEmpty() && !fbQuestionShown && bAtLineStart) {
        WriteRaw(fsQuestion.toUtf8());
        fbQuestionShown = true;
        fbAtLineStart = false;
        return;
    }
    Draw();
}

// ---------------------------------------------------------------------------------------------

TTerminalDevice::TTerminalDevice(int iFd, TConsoleStatusLine& aStatus, QObject* aParent)
    : QIODevice(aParent), fiFd(iFd), fStatus(aStatus)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TTerminalDevice::readData(char* /*pData*/, qint64 /*iMaxSize*/)
{
    return -1;
}

qint64 TTerminalDevice::writeData(const char* pData, qint64 iSize)
{
    if (iSize <= 0)
        return 0;
    fStatus.BeforeOutput();
    const bool bWritten = WriteAll(fiFd, pData, iSize);
    fStatus.AfterOutput(pData[iSize - 1] == '\n');
    return bWritten ? iSize : -1;
}
