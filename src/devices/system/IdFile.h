#pragma once

#include <QString>
#include <QStringConverter>
#include <QStringList>

#include "core/WorkerThread.h"

#include <sys/types.h>

namespace sys {

// An ID file opened under an advisory lock on its open file description, so that stations (and
// threads) sharing the file never interleave a read-check-write. The lock works on local files
// and on NFS; it goes when the object is destroyed. Lines end with CR LF; the text is 8-bit
// (Latin-1) unless the file starts with a byte-order mark, whose encoding is kept on every write.
class TIdFile
{
public:
    enum class ELock
    {
        Shared,   // reading only
        Exclusive // reading and writing
    };

    // Opens and locks the file; EError when it cannot be opened or the lock cannot be had within
    // iTimeoutMs. On a worker thread, pLink is the thread's link: the wait for the lock then goes
    // through it, so that a stop of the worker ends it at once (EError as well). A file replaced
    // while we waited for its lock is opened again.
    TIdFile(const QString& sPath, ELock eLock, int iTimeoutMs = 5000,
            const TWorkerThread::TLink* pLink = nullptr);
    ~TIdFile();
    TIdFile(const TIdFile&) = delete;
    TIdFile& operator=(const TIdFile&) = delete;

    // The file's lines without their line ends; a final line end adds no empty line.
    const QStringList& Lines() const { return fslLines; }

    // Appends one line and flushes it to disk before returning; EError when the line cannot be
    // written in the file's encoding or the write fails (the file is then cut back to its size).
    void Append(const QString& sLine);
    // Replaces the file by the lines: a temporary file in the same folder is written, flushed and
    // renamed over it, so that a crash or a full disk leaves either the old or the new file whole.
    // The lock stays on the replaced file: nothing more is written through this object.
    void Rewrite(const QStringList& slLines);

    // The lines of a file without taking a lock (a rewrite replaces the file whole, an append only
    // adds lines); EError when it cannot be read.
    static QStringList ReadLines(const QString& sPath);

private:
    void ReadAll();
    QByteArray Encode(const QString& sText, bool bWithBom) const;

    QString fsPath;
    int fiFd = -1;
    QStringConverter::Encoding feEncoding = QStringConverter::Latin1;
    bool fbBom = false;
    bool fbEndsWithBreak = true;
    off_t fiSize = 0;
    QStringList fslLines;
};

} // namespace sys
