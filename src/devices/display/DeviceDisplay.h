#pragma once

#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"

#include <functional>

namespace display {

// A device that shows pages of the test manual in the window's document view. It remembers the
// file it opened last, so that its anchors jump within that file.
class TDeviceDisplay : public TDevice
{
public:
    explicit TDeviceDisplay(TDeviceContext& aContext);

    // The device's functions, read by its registration and its constructor.
    static const TCmdCreateCmd::TTable& FunctionTable();

    void Init(const QString& sDefinition) override;
    virtual void OpenFile(const QString& sFileName) = 0;
    virtual void GoToAnchor(const QString& sAnchor) = 0;

protected:
    QString fPathAndFileName;
};

// The document display on the window's HTML view.
class TDeviceDisplayHTML : public TDeviceDisplay
{
public:
    using TDeviceDisplay::TDeviceDisplay;

    static QString KeyName() { return QStringLiteral("HTMLViewer"); }
    void OpenFile(const QString& sFileName) override;
    // Navigates to the remembered file followed by "#" and the anchor ("#anchor" before any Open).
    void GoToAnchor(const QString& sAnchor) override;

private:
    void Navigate(const QString& sTarget);
};

// Registers the family's device types with the device list: "HTMLViewer" and "Indicator".
void RegisterDevices(TDeviceTypes& aTypes);

// What Open and Goto share: a navigation of the device's document view that concludes at once.
class TCmdDisplay : public TCommandOf<TDeviceDisplay>
{
public:
    using TCommandOf::TCommandOf;

protected:
    // Runs aNavigate on the owner device; a target the document view refuses (sShown names it in
    // the error) fails the step.
    void Show(const QString& sShown, const std::function<void(TDeviceDisplay& aDisplay)>& aNavigate);
};

class TCmdOpen : public TCmdDisplay
{
public:
    using TCmdDisplay::TCmdDisplay;
    // The file must exist when the line loads.
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    const QString& PathAndFileName() const { return fPathAndFileName; }

private:
    QString fPathAndFileName;
};

class TCmdGoTo : public TCmdDisplay
{
public:
    using TCmdDisplay::TCmdDisplay;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fAnchor;
};

} // namespace display
