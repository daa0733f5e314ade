#include "FakePort.h"
#include "TestContext.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "execution/DeviceList.h"

#include <QTimer>

TFakePort::TFakePort(TDeviceContext& aContext) : TDevicePortBase(aContext) {}

void TFakePort::Register()
{
    TestDeviceTypes().Register(
        QStringLiteral("FakePort"), QStringLiteral("Port: Fake"), QStringLiteral("V0"),
        [](TDeviceContext& aContext) { return std::make_unique<TFakePort>(aContext); },
        TCmdCreateCmd::Infos({&TDevicePortBase::FunctionTable()}));
}

void TFakePort::Init(const QString& sDefinition)
{
    ReadTimeout(sDefinition);
    SetPortId(QStringLiteral("FAKE"));
}

void TFakePort::Open()
{
    if (bFailOpen)
        throw EError(QStringLiteral("the fake port refuses to open"));
    fbOpen = true;
    TDevicePortBase::Open();
}

void TFakePort::Close()
{
    fbOpen = false;
    TDevicePortBase::Close();
}

void TFakePort::WriteData(const QByteArray& aStream, int iTimeout)
{
    ++iWrites;
    if (!fbOpen) {
        SetErrorText(QStringLiteral("Port is not open!"));
        TMsg::Error(QStringLiteral("Port FAKE is not open!"));
        RaiseResult();
        return;
    }
    ClearRxData();
    if (aStream.isEmpty()) {
        TMsg::Trace(QStringLiteral("%s: No command wait for data only"), {PortId()});
    } else {
        written.push_back(aStream);
        TMsg::Trace(QStringLiteral("%s: >%s"), {PortId(), Display(aStream, true)});
    }
    StartTimer(iTimeout);
    if (OnWrite)
        OnWrite(aStream);
}

void TFakePort::Feed(const QByteArray& aChunk)
{
    AppendRxData(aChunk);
    TMsg::Trace(QStringLiteral("%s: <%s"), {PortId(), Display(aChunk, false)});
    RaiseResult();
}

void TFakePort::FeedLater(const std::vector<QByteArray>& aChunks, int iDelayMs)
{
    int iAt = 0;
    for (const QByteArray& chunk : aChunks) {
        iAt += iDelayMs;
        QTimer::singleShot(iAt, &fFeeds, [this, chunk] { Feed(chunk); });
    }
}

void TFakePort::InjectError(const QString& sText)
{
    ReportPortError(sText);
}
