#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <deque>
#include <memory>
#include <vector>

// The station's spool of finished runs. A run is appended to a spool file and flushed to disk
// before it counts as queued; it leaves the spool only after the database committed it, which an
// acknowledgement line appended to the same file records. Files are only ever appended to (a
// record cut short by a crash is cut off again when the file is next opened); a file whose runs
// are all acknowledged is deleted.
//
// Each file belongs to one process at a time (an exclusive lock), so several programs of one
// station may share the folder: each one adopts the files that no running program holds, those of
// a program that ended, and keeps their runs in front of its own.
class TResultSpool
{
public:
    explicit TResultSpool(const QString& sFolder);
    ~TResultSpool();
    TResultSpool(const TResultSpool&) = delete;
    TResultSpool& operator=(const TResultSpool&) = delete;

    // Creates the folder if needed and adopts every spool file that no other process holds: their
    // runs not yet acknowledged become the pending ones, oldest file first. False with Error().
    bool Open();
    // Appends a run and flushes it to disk. False with Error() when it could not be written (the
    // run is not in the spool) or not flushed (the run stays pending, but a crash may lose it).
    bool Append(const QUuid& aRunId, const QByteArray& aPayload);
    // The first iCount pending runs are stored in the database: they leave the spool.
    void Acknowledge(int iCount);

    int PendingCount() const { return int(fPending.size()); }
    const QUuid& PendingRunId(int iIndex) const { return fPending[std::size_t(iIndex)].RunId; }
    // The run as appended; empty with Error() when the file cannot be read.
    QByteArray PendingPayload(int iIndex) const;
    qint64 PendingBytes(int iIndex) const { return fPending[std::size_t(iIndex)].iLength; }
    // The size of all pending runs.
    qint64 PendingBytes() const { return fiPendingBytes; }

    const QString& Folder() const { return fsFolder; }
    const QString& Error() const { return fsError; }
    // What opening met and mended: damaged files kept aside, damaged runs skipped.
    const QStringList& Warnings() const { return fslWarnings; }
    // The size of the files this spool holds.
    qint64 BytesOnDisk() const;

private:
    struct TFile;
    struct TEntry
    {
        QUuid RunId;
        std::shared_ptr<TFile> File;
        qint64 iOffset = 0;
        qint64 iLength = 0;
    };

    bool Adopt(const QString& sPath);
    bool CreateCurrent();
    void Remove(const std::shared_ptr<TFile>& aFile);
    bool Fail(const QString& sError);

    QString fsFolder;
    QString fsError;
    QStringList fslWarnings;
    std::vector<std::shared_ptr<TFile>> fFiles;
    std::shared_ptr<TFile> fCurrent;
    std::deque<TEntry> fPending;
    qint64 fiPendingBytes = 0;
};
