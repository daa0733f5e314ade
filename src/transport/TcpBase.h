#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QTcpSocket;
class TMsgChannel;

namespace ports {

// A TCP connection with the states the port devices rely on and their trace lines.
class TTcpBase
{
public:
    enum : int
    {
        ciConnecting = 0,
        ciError = 1,
        ciDisconnected = 2,
        ciEstablished = 3
    };

    // aMsg: where the connection reports (its device's session).
    TTcpBase(TMsgChannel& aMsg, const QString& aMsgPrefix);
    virtual ~TTcpBase() = default;

    TTcpBase(const TTcpBase&) = delete;
    TTcpBase& operator=(const TTcpBase&) = delete;

    int State() const { return FiState; }
    const QString& LastError() const { return FsLastError; }
    bool DebugOn() const { return FbDebugOn; }
    void SetDebugOn(bool bOn) { FbDebugOn = bOn; }

    std::function<void(TTcpBase* aSender)> OnStateChanged;
    // Receives the trace lines instead of the message log when set.
    std::function<void(const QString& sText)> OnConnectionTrace;

    // The socket's error as the numeric code of the messages (the classic socket error numbers,
    // such as 10061 for a refused connection).
    static int SocketErrorCode(QAbstractSocket::SocketError eError);

protected:
    void SetState(int iState);
    void Trace(const QString& sText) const;
    void SetLastError(const QString& sText) { FsLastError = sText; }
    const QString& MsgPrefix() const { return fsMsgPrefix; }
    TMsgChannel& Msg() const { return fMsg; }

private:
    TMsgChannel& fMsg;
    int FiState = ciConnecting;
    QString fsMsgPrefix;
    QString FsLastError;
    bool FbDebugOn = false;
};

// A TCP client on an asynchronous socket whose events arrive on the main thread.
class TTcpBaseClient : public TTcpBase
{
public:
    // The most the socket reads ahead of the program.
    static constexpr qint64 ciReadBufferSize = 64 * 1024;

    TTcpBaseClient(TMsgChannel& aMsg, const QString& aMsgPrefix);
    ~TTcpBaseClient() override;

    // Starts connecting (with a name lookup when aHost is given); a port of 0 or less closes.
    void Open(const QString& aHost, const QString& aAddress, int aPort);
    void Close();
    // True while a connection is being looked up, made or held.
    bool Pending() const;

    virtual void CSRead();
    virtual bool Send(const QByteArray& aStream);

protected:
    QTcpSocket& Socket() const { return *fCSocket; }

private:
    void SocketStateChanged(QAbstractSocket::SocketState eState);
    void SocketError(QAbstractSocket::SocketError eError);
    // Whether the peer ended the connection with a reset rather than an orderly close.
    bool WasReset() const;
    void ReleaseWatch();

    std::unique_ptr<QTcpSocket> fCSocket;
    // A second descriptor of the connected socket: the socket layer reads a reset as an end of
    // data and closes its own descriptor, this one still shows how the connection ended.
    int fiWatchFd = -1;
    // An error ended this connection: its disconnect leaves the error state as it is.
    bool fbErrorReported = false;
};

// The client of the TCP port: hands every read to OnRxData.
class TTcpClient : public TTcpBaseClient
{
public:
    using TTcpBaseClient::TTcpBaseClient;

    void CSRead() override;
    bool Send(const QByteArray& aStream) override;

    // The bytes of the last read.
    const QByteArray& RxData() const { return FRxData; }

    std::function<void(TTcpClient* aSender)> OnRxData;

private:
    QByteArray FRxData;
};

} // namespace ports
