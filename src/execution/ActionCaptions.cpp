#include "ActionCaptions.h"

#include <array>

namespace {

const std::array<QString, maCount>& Captions()
{
    static const std::array<QString, maCount> captions = {
        QStringLiteral("&Open..."),
        QStringLiteral("Reload"),
        QStringLiteral("E&xit"),
        QStringLiteral("Reset"),
        QStringLiteral("Start"),
        QStringLiteral("Step"),
        QStringLiteral("Pause"),
        QStringLiteral("Continue"),
        QStringLiteral("Stop"),
        QStringLiteral("Set Break Point"),
        QStringLiteral("Toggle disable/enable test case"),
        QStringLiteral("Expand Test Case List"),
        QStringLiteral("Expand Default Test Case List"),
        QStringLiteral("Collapse Test Case List"),
        QStringLiteral("Show Last Error Report"),
        QStringLiteral("List Assigned Keyboard Keys"),
        QStringLiteral("Show Key Codes"),
        QStringLiteral("Show Trace Messages"),
        QStringLiteral("Show Debug Messages"),
        QStringLiteral("Set Operator Name..."),
        QStringLiteral("Skip Errors"),
        QStringLiteral("Extras..."),
        QStringLiteral("Open Home Page: Norbeck Software Design"),
        QStringLiteral("&About..."),
        QStringLiteral("&Copy"),
        QStringLiteral("Select Tree"),
    };
    return captions;
}

} // namespace

const QString& MainActionCaption(EMainAction eAction)
{
    return Captions().at(std::size_t(eAction));
}

bool IsMainActionCaption(const QString& sCaption)
{
    for (const QString& s : Captions()) {
        if (s == sCaption)
            return true;
    }
    return false;
}
