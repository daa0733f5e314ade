#include "AxcsStandIn.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <unistd.h>

namespace {

// An operator may take a while to answer a question.
constexpr int ciNotifyTimeoutMs = 60 * 60 * 1000;

// "<word> <rest>": the first word and the rest, both trimmed.
std::pair<QString, QString> SplitWord(const QString& sText)
{
    const QString s = sText.trimmed();
    const int iBlank = s.indexOf(QLatin1Char(' '));
    if (iBlank < 0)
        return {s, QString()};
    return {s.left(iBlank), s.mid(iBlank + 1).trimmed()};
}

} // namespace

TAxcsStandIn::TAxcsStandIn(QDBusConnection aBus) : fBus(std::move(aBus))
{
    fLimit.setSingleShot(true);
    fLater.setSingleShot(true);
    connect(&fLimit, &QTimer::timeout, this, [this] { Finish(-3, QStringLiteral("Timeout")); });
    connect(&fLater, &QTimer::timeout, this, [this] { Finish(0, fsLaterResult); });
}

QString TAxcsStandIn::GetInfo()
{
    return QStringLiteral("AXCS stand-in server %1").arg(QCoreApplication::applicationVersion());
}

void TAxcsStandIn::SetTimeout(int interval)
{
    fiTimeout = qMax(interval, 0);
}

int TAxcsStandIn::ExecuteFunction(const QString& functionCall, QString& functionResult)
{
    const auto [sName, sArgs] = SplitWord(functionCall);
    if (fbRunning)
        return Refuse(-2, QStringLiteral("Busy"), functionResult);
    if (sName == QLatin1String("Echo")) {
        functionResult = sArgs;
        return 0;
    }
    if (sName == QLatin1String("Fail")) {
        const auto [sCode, sText] = SplitWord(sArgs);
        bool bOk = false;
        const int iCode = sCode.toInt(&bOk);
        return Refuse(bOk && iCode < 0 ? iCode : -1, sText, functionResult);
    }

    // The functions that finish later answer the client that called them.
    fsCaller = message().service();
    if (sName == QLatin1String("Hang")) {
        const int iCode = Started();
        fLimit.stop();
        return iCode;
    }
    if (sName == QLatin1String("Ask")) {
        const int iCode = Started();
        // The question follows the reply to this call, so that the client knows the function runs.
        QTimer::singleShot(0, this, [this, sArgs = sArgs, iJob = fiJob] {
            if (iJob == fiJob)
                Ask(sArgs);
        });
        return iCode;
    }
    if (sName == QLatin1String("Later") || sName == QLatin1String("AskLimited")) {
        const auto [sTime, sText] = SplitWord(sArgs);
        bool bOk = false;
        const int iTime = sTime.toInt(&bOk);
        if (!bOk || iTime < 0)
            return Refuse(-1, QStringLiteral("Invalid time \"%1\"").arg(sTime), functionResult);
        const int iCode = Started();
        fLater.start(iTime);
        if (sName == QLatin1String("Later")) {
            fsLaterResult = sText;
        } else {
            fsLaterResult = QStringLiteral("Expired");
            QTimer::singleShot(0, this, [this, sText = sText, iJob = fiJob] {
                if (iJob == fiJob)
                    Ask(sText);
            });
        }
        return iCode;
    }
    return Refuse(-1, QStringLiteral("Unknown function \"%1\"").arg(sName), functionResult);
}

void TAxcsStandIn::CancelFunction()
{
    if (fbRunning)
        Finish(-4, QStringLiteral("Cancelled"));
}

uint TAxcsStandIn::GetCurrentIds(uint& threadId)
{
    threadId = uint(gettid());
    return uint(QCoreApplication::applicationPid());
}

QString TAxcsStandIn::GetLastErrorMsg()
{
    return fsLastError;
}

void TAxcsStandIn::ResetLastError()
{
    fsLastError.clear();
}

int TAxcsStandIn::Started()
{
    fbRunning = true;
    ++fiJob;
    fLimit.start(fiTimeout);
    return 1;
}

void TAxcsStandIn::Finish(int iCode, const QString& sResult)
{
    fbRunning = false;
    ++fiJob;
    fLimit.stop();
    fLater.stop();
    if (iCode < 0)
        fsLastError = sResult;
    Q_EMIT FunctionResult(iCode, sResult);
}

int TAxcsStandIn::Refuse(int iCode, const QString& sText, QString& sResult)
{
    fsLastError = sText;
    sResult = sText;
    return iCode;
}

void TAxcsStandIn::Ask(const QString& sRequest)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(fsCaller, QStringLiteral("/org/tzk/AxccClient"),
                                       QStringLiteral("org.tzk.AxccClient"), QStringLiteral("Notify"));
    call << sRequest;
    auto* pWatcher = new QDBusPendingCallWatcher(fBus.asyncCall(call, ciNotifyTimeoutMs), this);
    connect(pWatcher, &QDBusPendingCallWatcher::finished, this, [this, pWatcher, sRequest, iJob = fiJob] {
        pWatcher->deleteLater();
        if (iJob != fiJob)
            return; // the function ended meanwhile
        const QDBusPendingReply<QString> reply = *pWatcher;
        if (reply.isError()) {
            Finish(-5, QStringLiteral("Notify failed: %1").arg(reply.error().message()));
            return;
        }
        // "ERROR": the client could not serve the request and cancels the function.
        if (reply.value() == QLatin1String("ERROR")) {
            fsLastError = QStringLiteral("The client could not serve \"%1\"").arg(sRequest);
            return;
        }
        Finish(0, reply.value());
    });
}
