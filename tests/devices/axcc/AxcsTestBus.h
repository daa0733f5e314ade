#pragma once

#include <QProcess>
#include <QString>

#include <memory>

// A private message bus for the tests (a dbus-daemon of their own, never the user's session bus)
// and the stand-in automation server on it, each a real process that is ended with its object.
class TAxcsTestBus
{
public:
    TAxcsTestBus();
    ~TAxcsTestBus();
    TAxcsTestBus(const TAxcsTestBus&) = delete;
    TAxcsTestBus& operator=(const TAxcsTestBus&) = delete;

    // The bus's address; empty when the bus did not start (Error() says why).
    const QString& Address() const { return fsAddress; }
    const QString& Error() const { return fsError; }

    // Starts the stand-in server and waits until it owns its name; false (and Error()) otherwise.
    bool StartServer();
    // Ends the server at once, as a crash would.
    void KillServer();
    void StopServer() { End(fServer); }

private:
    static void End(QProcess& aProcess);

    QProcess fDaemon;
    QProcess fServer;
    QString fsAddress;
    QString fsError;
};
