#pragma once

#include "DevicePortBase.h"

#include "transport/NorbeckIpAddress.h"
#include "transport/TcpBase.h"

#include <memory>

namespace ports {

// "TCP.Client": a TCP connection that the test station opens to the device under test.
class TDevicePortTcp : public TDevicePortBase
{
public:
    // How long Open waits for a pending connection, in ms.
    static constexpr int ciConnectWait = 6000;

    explicit TDevicePortTcp(TDeviceContext& aContext);
    ~TDevicePortTcp() override;

    static QString KeyName() { return QStringLiteral("TCP.Client"); }
    void Init(const QString& sDefinition) override;
    void WriteData(const QByteArray& aStream, int iTimeout) override;
    void Open() override;
    void Close() override;
    bool Instruct(const QString& aStatement) override;
    void Released() override;

    const TNorbeckIpAddress& Address() const { return fAddress; }
    const TTcpClient& Client() const { return *fClient; }

private:
    void DataReceived();
    void StateChanged();
    void UpdatePortId();

    std::unique_ptr<TTcpClient> fClient;
    TNorbeckIpAddress fAddress;
};

} // namespace ports
