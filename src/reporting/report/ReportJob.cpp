#include "ReportJob.h"

#include "ReportPage.h"

#include <QSaveFile>

TReportJob::TReportJob(QObject* aParent) : QObject(aParent) {}

TReportJob::~TReportJob()
{
    if (fThread.joinable())
        fThread.join();
}

bool TReportJob::Start(const TReportOptions& aOptions, const QString& sFile)
{
    if (fbBusy)
        return false;
    if (fThread.joinable())
        fThread.join();
    fbBusy = true;
    fThread = std::thread([this, aOptions, sFile] {
        TReportData data;
        QString sError;
        const QByteArray aPage = TResultReport::Collect(aOptions, data, sError)
                                     ? TReportPage::Render(data)
                                     : TReportPage::Problem(aOptions, sError);
        QSaveFile file(sFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(aPage) != aPage.size() || !file.commit())
            sError = QStringLiteral("cannot write %1: %2").arg(sFile, file.errorString());
        QMetaObject::invokeMethod(
            this,
            [this, sFile, sError] {
                fbBusy = false;
                Q_EMIT Finished(sFile, sError);
            },
            Qt::QueuedConnection);
    });
    return true;
}
