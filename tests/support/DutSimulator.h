#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// One step of a device under test's dialogue: when the bytes it received contain sRequest
// (everything up to and including it is consumed), it answers with the chunks, iChunkDelayMs
// apart (the first at once), and then closes the connection if bClose. An empty request answers
// every connection as soon as it is made.
struct TDutRule
{
    QByteArray request;
    std::vector<QByteArray> replies;
    int iChunkDelayMs = 0;
    bool bClose = false;
};

// A device under test on the test station's side of a TCP connection, a UDP port or a serial line
// (the master of a pseudo-terminal). It answers a scripted dialogue on the main thread's event loop;
// tests, benchmarks and the example's simulator program share it.
class TDutSimulator
{
public:
    TDutSimulator();
    ~TDutSimulator();

    TDutSimulator(const TDutSimulator&) = delete;
    TDutSimulator& operator=(const TDutSimulator&) = delete;

    void AddRule(TDutRule aRule) { fRules.push_back(std::move(aRule)); }
    // Answers every received chunk with itself.
    void SetEcho(bool bEcho) { fbEcho = bEcho; }

    // Listens on 127.0.0.1 (port 0: a free one) and returns the port, 0 on failure.
    quint16 ListenTcp(quint16 uPort = 0);
    // Closes the listening socket and every connection.
    void StopTcp();
    // Drops the open connections (the peer sees the connection closed).
    void DisconnectClients();
    int ConnectionCount() const { return fiConnections; }

    // Takes datagrams on 127.0.0.1 (port 0: a free one) and returns the port, 0 on failure. Every
    // sender is a dialogue of its own; each reply chunk goes back to it as one datagram.
    quint16 ListenUdp(quint16 uPort = 0);
    void StopUdp();

    // Opens a pseudo-terminal and returns the path of its terminal side, which the port under
    // test opens; empty on failure.
    QString OpenPty();
    // Closes the simulator's side: the terminal side loses its device.
    void ClosePty();

    // Everything received on all channels, in order.
    const QByteArray& Received() const { return fReceived; }
    // The same, one entry per read.
    const std::vector<QByteArray>& ReceivedChunks() const { return fReceivedChunks; }

    // Sends bytes to every connection and the pseudo-terminal.
    void SendToAll(const QByteArray& aData);

    // A dialogue from a text: one rule per line "request => reply", escapes \r \n \t \\ and \xHH;
    // a reply may be split into chunks with "|", a line may end with " ; delay=<ms>" and/or
    // " ; close". Lines starting with "#" and empty lines are skipped.
    static std::vector<TDutRule> ParseDialogue(const QString& sText);

private:
    struct TChannel;
    void Received(TChannel& aChannel, const QByteArray& aData);
    void Answer(TChannel& aChannel, const TDutRule& aRule);
    void Write(TChannel& aChannel, const QByteArray& aData);
    void Accept();

    std::vector<TDutRule> fRules;
    bool fbEcho = false;
    std::unique_ptr<QTcpServer> fServer;
    std::vector<std::unique_ptr<TChannel>> fChannels;
    int fiConnections = 0;
    std::unique_ptr<QUdpSocket> fUdp;
    std::vector<std::unique_ptr<TChannel>> fUdpChannels; // one per sender
    int fiPtyMaster = -1;
    std::unique_ptr<QSocketNotifier> fPtyNotifier;
    std::unique_ptr<TChannel> fPtyChannel;
    QByteArray fReceived;
    std::vector<QByteArray> fReceivedChunks;
    QObject fTimers; // pending reply chunks end with the simulator
};
