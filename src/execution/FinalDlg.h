#pragma once

#include <QString>
#include <QStringList>

// The contents of the final dialog: the failure list that grows over a run (and survives Reset)
// and the label the dialog shows.
class TFinalDlg
{
public:
    void AddFailedJob(const QString& sText) { fslFailedJobs.append(sText); }
    const QStringList& FailedJobs() const { return fslFailedJobs; }
    // The list is emptied whenever the dialog closes.
    void Closed() { fslFailedJobs.clear(); }

    // "Passed", or "%dx Failed" with the number of listed failures.
    QString Label(bool bPassed) const;

private:
    QStringList fslFailedJobs;
};
