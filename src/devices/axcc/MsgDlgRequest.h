#pragma once

#include "execution/OperatorDialogs.h"

#include <QString>

#include <optional>

namespace axcc {

// A server's question to the operator: "ShowMsgDlg:" followed by name=value items separated by
// ";", for example ShowMsgDlg:Text="Insert card";Button=[OK,Cancel].
struct TMsgDlgRequest
{
    QString sText;
    bool bYes = false;
    bool bNo = false;
    bool bOk = false;
    bool bCancel = false;
    bool bAbort = false;

    // The request read, or none when it is not a dialog request (no "ShowMsgDlg:").
    static std::optional<TMsgDlgRequest> Parse(const QString& sRequest);

    // The operator dialogs offer three button sets: Yes or No asked for gives Yes/No, else Cancel or
    // Abort gives OK/Cancel (Abort shown as Cancel), else a single OK.
    TDialogButtons Buttons() const;
};

} // namespace axcc
