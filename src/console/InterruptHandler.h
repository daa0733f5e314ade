#pragma once

#include <QObject>

class QSocketNotifier;

// Ctrl+C (SIGINT) and SIGTERM for the headless runner. The first signal is handed to the main
// thread through a pipe and reported there by Interrupted(), so that the run stops in order (final
// cases, value-log line); the signal handler itself only writes to the pipe. A second signal ends
// the program at once with 128 + the signal number (130 for Ctrl+C). The previous handlers come
// back when the object is destroyed; only one object may exist at a time.
class TInterruptHandler : public QObject
{
    Q_OBJECT

public:
    explicit TInterruptHandler(QObject* aParent = nullptr);
    ~TInterruptHandler() override;

    TInterruptHandler(const TInterruptHandler&) = delete;
    TInterruptHandler& operator=(const TInterruptHandler&) = delete;

    // Readable from the first signal until the main thread has taken it; a blocking console
    // question watches it to give up.
    int NotifyFd() const { return fiReadFd; }
    // A signal arrived, reported already or not.
    bool WasInterrupted() const;

Q_SIGNALS:
    void Interrupted(int iSignal);

private:
    void Drain();

    int fiReadFd = -1;
    QSocketNotifier* fNotifier = nullptr;
    bool fbReported = false;
};
