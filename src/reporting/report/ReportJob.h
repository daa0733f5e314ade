#pragma once

#include "ResultReport.h"

#include <QObject>
#include <QString>

#include <thread>

// Makes a report on a worker thread, so that the window and a run go on meanwhile, and hands the
// written page to the main thread. A report that cannot be made becomes a page that says why.
class TReportJob : public QObject
{
    Q_OBJECT

public:
    explicit TReportJob(QObject* aParent = nullptr);
    // Waits for a report under way (its connection and queries are bounded in time).
    ~TReportJob() override;
    TReportJob(const TReportJob&) = delete;
    TReportJob& operator=(const TReportJob&) = delete;

    // Starts writing the report into sFile; false while another one is under way.
    bool Start(const TReportOptions& aOptions, const QString& sFile);
    bool Busy() const { return fbBusy; }

Q_SIGNALS:
    // On the main thread: the page is in sFile; sError says why it holds no report, if it does not.
    void Finished(const QString& sFile, const QString& sError);

private:
    std::thread fThread;
    bool fbBusy = false;
};
