#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// An MS8218 multimeter on the far side of a pseudo-terminal: it sends its display frame again and
// again, byte by byte at the pace of a 2400-baud line (8 data bits, parity, one stop bit), with a
// pause between frames. Tests, and the example's simulator program, change the frame while it runs.
class TMeterSimulator
{
public:
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

    // Opens a pseudo-terminal and starts sending; the path of the terminal side the instrument
    // opens, empty on failure.
    QString Start();
    void Stop();

    // The frame sent from the next frame on (any bytes: a garbled frame too).
    void SetFrame(const QByteArray& aFrame);
    void SetPauseMs(int iPauseMs) { fiPauseMs = iPauseMs; }
    int FramesSent() const { return fiFramesSent; }

private:
    void Send();

    int fiPtyMaster = -1;
    std::thread fThread;
    std::atomic<bool> fbStop{false};
    std::atomic<int> fiPauseMs{50};
    std::atomic<int> fiFramesSent{0};
    std::mutex fLock;
    QByteArray fFrame; // under fLock
};
