#include "TcpBase.h"

#include "core/MsgClasses.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace ports {

// ---------------------------------------------------------------------------------------------
// TTcpBase

TTcpBase::TTcpBase(const QString& aMsgPrefix) : fsMsgPrefix(aMsgPrefix) {}

void TTcpBase::SetState(int iState)
{
    if (iState == FiState)
        return;
    FiState = iState;
    if (OnStateChanged)
        OnStateChanged(this);
}

void TTcpBase::Trace(const QString& sText) const
{
    if (OnConnectionTrace)
        OnConnectionTrace(fsMsgPrefix + sText);
    else
        TMsg::Trace(fsMsgPrefix + sText);
}

int TTcpBase::SocketErrorCode(QAbstractSocket::SocketError eError)
{
    switch (eError) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    case QAbstractSocket::OperationError:
        return 10036;
    case QAbstractSocket::TemporaryError:
        return 10035;
    default:
        return 10053; // the connection ended for a reason the socket does not name
    }
}

// ---------------------------------------------------------------------------------------------
// TTcpBaseClient

TTcpBaseClient::TTcpBaseClient(const QString& aMsgPrefix)
    : TTcpBase(aMsgPrefix), fCSocket(std::make_unique<QTcpSocket>())
{
    QTcpSocket* pSocket = fCSocket.get();
    QObject::connect(pSocket, &QAbstractSocket::stateChanged, pSocket,
                     [this](QAbstractSocket::SocketState eState) { SocketStateChanged(eState); });
    QObject::connect(pSocket, &QAbstractSocket::connected, pSocket, [this] {
        Trace(QStringLiteral("TCP client connect"));
        // The socket can be written as soon as it is connected.
        Trace(QStringLiteral("TCP client connection established"));
        SetState(ciEstablished);
    });
    QObject::connect(pSocket, &QAbstractSocket::disconnected, pSocket, [this] {
        Trace(QStringLiteral("TCP client disconnect"));
        SetState(ciDisconnected);
    });
    QObject::connect(pSocket, &QAbstractSocket::errorOccurred, pSocket,
                     [this](QAbstractSocket::SocketError eError) { SocketError(eError); });
    QObject::connect(pSocket, &QIODevice::readyRead, pSocket, [this] { CSRead(); });
}

TTcpBaseClient::~TTcpBaseClient()
{
    // No event of a closing socket reaches a half-destroyed client.
    QObject::disconnect(fCSocket.get(), nullptr, nullptr, nullptr);
    fCSocket->abort();
}

void TTcpBaseClient::SocketStateChanged(QAbstractSocket::SocketState eState)
{
    if (eState == QAbstractSocket::HostLookupState) {
        Trace(QStringLiteral("TCP client look up"));
    } else if (eState == QAbstractSocket::ConnectingState) {
        Trace(QStringLiteral("TCP client connecting"));
        SetState(ciConnecting);
    }
}

void TTcpBaseClient::SocketError(QAbstractSocket::SocketError eError)
{
    // A peer that closes the connection is a disconnect, not an error.
    if (eError == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString sError = QStringLiteral("TCP connection error: %1").arg(SocketErrorCode(eError));
    Trace(sError);
    SetLastError(sError);
    SetState(ciError);
}

void TTcpBaseClient::Open(const QString& aHost, const QString& aAddress, int aPort)
{
    fCSocket->abort();
    if (aPort <= 0)
        return;
    const auto port = static_cast<quint16>(aPort);
    if (!aHost.isEmpty())
        fCSocket->connectToHost(aHost, port);
    else
        fCSocket->connectToHost(QHostAddress(aAddress), port);
}

void TTcpBaseClient::Close()
{
    if (fCSocket->state() == QAbstractSocket::ConnectedState)
        fCSocket->disconnectFromHost(); // sends what is still queued first
    if (fCSocket->state() != QAbstractSocket::UnconnectedState)
        fCSocket->abort();
}

bool TTcpBaseClient::Pending() const
{
    return fCSocket->state() != QAbstractSocket::UnconnectedState;
}

void TTcpBaseClient::CSRead()
{
    const QByteArray data = fCSocket->readAll();
    TMsg::Info(QStringLiteral("TTcpBaseClient.CSRead: ") + QString::fromLatin1(data));
}

bool TTcpBaseClient::Send(const QByteArray& aStream)
{
    if (State() != ciEstablished) {
        TMsg::Error(MsgPrefix() + QStringLiteral("Invalid state (%d) to send data"), {State()});
        return false;
    }
    if (fCSocket->write(aStream) != aStream.size()) {
        TMsg::Error(MsgPrefix() + QStringLiteral("Send data failed!"));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// TTcpClient

void TTcpClient::CSRead()
{
    const qint64 iSize = Socket().bytesAvailable();
    FRxData.resize(int(iSize));
    const qint64 iRead = Socket().read(FRxData.data(), iSize);
    if (iRead != iSize) {
        TMsg::Error(MsgPrefix() + QStringLiteral("Rx length %d <> %d read buffer!"), {iSize, iRead});
        FRxData.resize(int(std::max<qint64>(iRead, 0)));
    }
    if (DebugOn())
        TMsg::Debug(MsgPrefix() + QStringLiteral("Rx ") + QString::fromLatin1(FRxData));
    if (OnRxData)
        OnRxData(this);
}

bool TTcpClient::Send(const QByteArray& aStream)
{
    if (DebugOn())
        TMsg::Debug(MsgPrefix() + QStringLiteral("Tx ") + QString::fromLatin1(aStream));
    return TTcpBaseClient::Send(aStream);
}

} // namespace ports
