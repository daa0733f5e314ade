#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private PulseAudio server for one test process: its own HOME and runtime folder, a socket
// without authentication, and null sinks with known descriptions. The process's sound clients talk
// to it (PULSE_SERVER); it is killed and removed with the object.
class TPulseTestServer
{
public:
    struct TSink
    {
        QString sName;        // the server's name; its monitor is <name>.monitor
        QString sDescription; // the friendly name, "Monitor of <description>" for the monitor
        int iChannels;
    };

    explicit TPulseTestServer(const QList<TSink>& aSinks);
    ~TPulseTestServer();
    TPulseTestServer(const TPulseTestServer&) = delete;
    TPulseTestServer& operator=(const TPulseTestServer&) = delete;

    // Whether the server answered; Error() says why not.
    bool Running() const { return fbRunning; }
    const QString& Error() const { return fsError; }

    // pactl against this server; its standard output, or an empty text on failure.
    QString Pactl(const QStringList& args) const;
    // Loads one more null sink and returns its module index (-1 on failure).
    int AddSink(const TSink& aSink) const;
    bool RemoveModule(int iModule) const;

    // The sinks of the audio tests: a stereo and a mono null sink at 48 kHz.
    static QList<TSink> StandardSinks();

private:
    static QString SinkArguments(const TSink& aSink);

    QTemporaryDir fDir;
    QProcess fDaemon;
    QByteArray faPreviousServer;
    bool fbRunning = false;
    QString fsError;
};
