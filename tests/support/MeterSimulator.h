#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// An MS8218 multimeter on the far side of a pseudo-terminal: it sends its display frame again and
// again, byte by byte at the pace of a 2400-baud line (8 data bits, parity, one stop bit), with a
// pause between frames. Tests, and the example's simulator program, change the frame while it runs.
//
// The meter also records who uses it: a client is an open descriptor of its line in any process.
// Whenever the line is opened or closed it counts its clients, so that a test can tell from the
// meter's side that two clients never had the line open at the same time.
class TMeterSimulator
{
public:
    struct TUse
    {
        // Opens of the line; opens that follow each other before the meter looks count once.
        int iConnections = 0;
        int iOverlaps = 0;   // times a second client opened the line while another had it open
        int iMostAtOnce = 0; // the most clients seen at once
    };

    // The time one byte takes on the line: 11 bits at 2400 baud.
    static constexpr int ciByteMicroseconds = 11 * 1000000 / 2400;

    TMeterSimulator() = default;
    ~TMeterSimulator();

    TMeterSimulator(const TMeterSimulator&) = delete;
    TMeterSimulator& operator=(const TMeterSimulator&) = delete;

    // One frame: the start byte with the exponent, the mode byte (overload: bit 5), the flag byte
    // (automatic range: bit 4, negative: bit 5) and the five digits of iDigits.
    static QByteArray Frame(int iMode, int iDigits, int iExponent = 0, bool bNegative = false,
                            bool bOverload = false);

    // Opens a pseudo-terminal and starts sending and watching its clients; the path of the terminal
    // side the instrument opens, empty on failure (also when the line cannot be watched).
    QString Start();
    void Stop();

    // The frame sent from the next frame on (any bytes: a garbled frame too).
    void SetFrame(const QByteArray& aFrame);
    void SetPauseMs(int iPauseMs) { fiPauseMs = iPauseMs; }
    int FramesSent() const { return fiFramesSent; }
    // What the meter recorded of its clients since Start.
    TUse Use() const;
    // The record as one line: "connections <n> overlaps <n> most-at-once <n>".
    static QString UseText(const TUse& aUse);

private:
    void Send();
    // Waits for the line to be opened or closed and counts the clients each time.
    void Watch();
    // iOpens: the opens reported since the last count.
    void CountClients(int iOpens);

    QString fsLine;
    int fiWatch = -1; // inotify descriptor watching the line's opens and closes
    std::thread fWatcher;
    mutable std::mutex fUseLock;
    TUse fUse;         // under fUseLock
    int fiClients = 0; // the descriptors of the line open at the last count; watcher thread only

    int fiPtyMaster = -1;
    std::thread fThread;
    std::atomic<bool> fbStop{false};
    std::atomic<int> fiPauseMs{50};
    std::atomic<int> fiFramesSent{0};
    std::mutex fLock;
    QByteArray fFrame; // under fLock
};
