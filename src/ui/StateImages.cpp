#include "StateImages.h"

#include <array>

// The images live in the library's resources, which a static library must register itself (from
// the global namespace).
static void InitResources()
{
    static const bool bDone = [] {
        Q_INIT_RESOURCE(ui);
        return true;
    }();
    (void)bDone;
}

QIcon StateImage(int iIndex)
{
    InitResources();
    static std::array<QIcon, 15> images;
    if (iIndex < 1 || iIndex > 14)
        return {};
    QIcon& icon = images[std::size_t(iIndex)];
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/icons/state%1.svg").arg(iIndex, 2, 10, QLatin1Char('0')));
    return icon;
}

QIcon UiIcon(const QString& sName)
{
    InitResources();
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(sName));
}
