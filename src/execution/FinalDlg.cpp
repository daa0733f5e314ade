#include "FinalDlg.h"

#include "core/MsgUtils.h"

QString TFinalDlg::Label(bool bPassed) const
{
    if (bPassed)
        return QStringLiteral("Passed");
    return Format(QStringLiteral("%dx Failed"), {int(fslFailedJobs.size())});
}
