#pragma once

#include "devices/ports/DevicePortBase.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

// A port without a channel: the test feeds received bytes in chunks, reads what the device
// wrote, injects channel errors and lets opening fail. Registered under the type keyword
// "FakePort"; Device.Create(FakePort; <name>; <timeout>).
class TFakePort : public ports::TDevicePortBase
{
public:
    explicit TFakePort(TDeviceContext& aContext);

    static void Register();

    void Init(const QString& sDefinition) override;
    void WriteData(const QByteArray& aStream, int iTimeout) override;
    void Open() override;
    void Close() override;

    // Received bytes, as a channel delivers them.
    void Feed(const QByteArray& aChunk);
    // Every chunk iDelayMs after the one before (the first after iDelayMs), from the event loop.
    void FeedLater(const std::vector<QByteArray>& aChunks, int iDelayMs);
    // A channel error with the port's text.
    void InjectError(const QString& sText);

    bool IsOpen() const { return fbOpen; }
    std::vector<QByteArray> written; // one entry per non-empty write
    int iWrites = 0;                 // every write, empty ones included
    bool bFailOpen = false;
    // Answers a write, like a device under test (called after the write was recorded).
    std::function<void(const QByteArray& aData)> OnWrite;

private:
    bool fbOpen = false;
    QObject fFeeds; // scheduled feeds end with the port
};
