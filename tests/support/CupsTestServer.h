#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private CUPS scheduler for one test: its own folders and socket, queues that print into
// files, stopped and removed with the object. The process's CUPS clients talk to it.
class TCupsTestServer
{
public:
    TCupsTestServer();
    ~TCupsTestServer();

    TCupsTestServer(const TCupsTestServer&) = delete;
    TCupsTestServer& operator=(const TCupsTestServer&) = delete;

    // Whether the scheduler answered; Error() says why not.
    bool Running() const { return fbRunning; }
    const QString& Error() const { return fsError; }

    // Adds a queue that writes every job as PDF into <folder>/out/<name>.prn.
    bool AddQueue(const QString& sName);
    bool Disable(const QString& sName);
    // The queue refuses new jobs.
    bool Reject(const QString& sName);
    bool Remove(const QString& sName);
    QString OutputFile(const QString& sName) const;
    // The titles of the queue's jobs, finished ones included, oldest first.
    QStringList JobTitles(const QString& sName) const;
    // Waits (at most 20 s) until the queue has finished iCount jobs; its output file then holds
    // the last one.
    bool WaitForCompletedJobs(const QString& sName, int iCount) const;
    QString SocketPath() const;

private:
    bool Run(const QString& sProgram, const QStringList& args);

    QTemporaryDir fDir;
    QProcess fDaemon;
    bool fbRunning = false;
    QString fsError;
};
