#include "TcpBase.h"

#include "core/MsgChannel.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ports {

// ---------------------------------------------------------------------------------------------
// TTcpBase

TTcpBase::TTcpBase(TMsgChannel& aMsg, const QString& aMsgPrefix) : fMsg(aMsg), fsMsgPrefix(aMsgPrefix) {}

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
        fMsg.Trace(fsMsgPrefix + sText);
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

TTcpBaseClient::TTcpBaseClient(TMsgChannel& aMsg, const QString& aMsgPrefix)
    : TTcpBase(aMsg, aMsgPrefix), fCSocket(std::make_unique<QTcpSocket>())
{
    QTcpSocket* pSocket = fCSocket.get();
    // The read side drains the socket at every notification; the bound keeps a peer that sends
    // faster than the program reads from filling the memory.
    pSocket->setReadBufferSize(ciReadBufferSize);
    QObject::connect(pSocket, &QAbstractSocket::stateChanged, pSocket,
                     [this](QAbstractSocket::SocketState eState) { SocketStateChanged(eState); });
    QObject::connect(pSocket, &QAbstractSocket::connected, pSocket, [this] {
        ReleaseWatch();
        fiWatchFd = ::dup(int(fCSocket->socketDescriptor()));
        Trace(QStringLiteral("TCP client connect"));
        // The socket can be written as soon as it is connected.
        Trace(QStringLiteral("TCP client connection established"));
        SetState(ciEstablished);
    });
    QObject::connect(pSocket, &QAbstractSocket::disconnected, pSocket, [this] {
        ReleaseWatch();
        if (fbErrorReported)
            return; // the error event already ended the connection
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
    ReleaseWatch();
}

void TTcpBaseClient::ReleaseWatch()
{
    if (fiWatchFd >= 0)
        ::close(fiWatchFd);
    fiWatchFd = -1;
}

bool TTcpBaseClient::WasReset() const
{
    if (fiWatchFd < 0)
        return false;
    // A reset takes the connection straight to closed; after an orderly close by the peer it
    // waits for this side to close as well.
    tcp_info info{};
    socklen_t nLength = sizeof info;
    if (::getsockopt(fiWatchFd, IPPROTO_TCP, TCP_INFO, &info, &nLength) != 0)
        return false;
    return info.tcpi_state == TCP_CLOSE;
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
    // A peer that closes the connection is a disconnect, not an error; one that resets it is.
    const bool bReset = eError == QAbstractSocket::RemoteHostClosedError && WasReset();
    if (eError == QAbstractSocket::RemoteHostClosedError && !bReset)
        return;
    const QString sError = QStringLiteral("TCP connection error: %1").arg(SocketErrorCode(eError));
    Trace(sError);
    SetLastError(sError);
    fbErrorReported = true;
    SetState(ciError);
}

void TTcpBaseClient::Open(const QString& aHost, const QString& aAddress, int aPort)
{
    fCSocket->abort();
    ReleaseWatch();
    fbErrorReported = false;
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
    ReleaseWatch();
}

bool TTcpBaseClient::Pending() const
{
    return fCSocket->state() != QAbstractSocket::UnconnectedState;
}

void TTcpBaseClient::CSRead()
{
    const QByteArray data = fCSocket->readAll();
    Msg().Info(QStringLiteral("TTcpBaseClient.CSRead: ") + QString::fromLatin1(DumpHead(data)) +
               DumpRest(data));
}

bool TTcpBaseClient::Send(const QByteArray& aStream)
{
    if (State() != ciEstablished) {
        Msg().Error(MsgPrefix() + QStringLiteral("Invalid state (%d) to send data"), {State()});
        return false;
    }
    if (fCSocket->write(aStream) != aStream.size()) {
        Msg().Error(MsgPrefix() + QStringLiteral("Send data failed!"));
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
        Msg().Error(MsgPrefix() + QStringLiteral("Rx length %d <> %d read buffer!"), {iSize, iRead});
        FRxData.resize(int(std::max<qint64>(iRead, 0)));
    }
    if (DebugOn())
        Msg().Debug(MsgPrefix() + QStringLiteral("Rx ") + QString::fromLatin1(DumpHead(FRxData)) +
                    DumpRest(FRxData));
    if (OnRxData)
        OnRxData(this);
}

bool TTcpClient::Send(const QByteArray& aStream)
{
    if (DebugOn())
        Msg().Debug(MsgPrefix() + QStringLiteral("Tx ") + QString::fromLatin1(DumpHead(aStream)) +
                    DumpRest(aStream));
    return TTcpBaseClient::Send(aStream);
}

} // namespace ports
