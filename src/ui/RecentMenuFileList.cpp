#include "RecentMenuFileList.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>

TRecentMenuFileList::TRecentMenuFileList(QMenuBar* oMainMenu, QObject* oParent, int iMenuIndex, int iPosition)
    : QObject(oParent), fMainMenu(oMainMenu), fParent(oParent), fiMenuIndex(iMenuIndex), fiPosition(iPosition)
{}

// The menu items are children of the list and go with it.
TRecentMenuFileList::~TRecentMenuFileList() = default;

QMenu* TRecentMenuFileList::Menu() const
{
    const QList<QAction*> menus = fMainMenu->actions();
    return fiMenuIndex < menus.size() ? menus[fiMenuIndex]->menu() : nullptr;
}

void TRecentMenuFileList::PlaceAtTop(QAction* aItem)
{
    QMenu* menu = Menu();
    if (!menu)
        return;
    menu->removeAction(aItem);
    const QList<QAction*> items = menu->actions();
    QAction* before = fiPosition < items.size() ? items[fiPosition] : nullptr;
    menu->insertAction(before, aItem);
}

void TRecentMenuFileList::Insert(const QString& sFileName)
{
    for (std::size_t i = 0; i < fslTempMenuList.size(); ++i) {
        if (fslTempMenuList[i].first.compare(sFileName, Qt::CaseInsensitive) != 0)
            continue;
        if (i == 0)
            return;
        auto entry = fslTempMenuList[i];
        fslTempMenuList.erase(fslTempMenuList.begin() + std::ptrdiff_t(i));
        fslTempMenuList.insert(fslTempMenuList.begin(), entry);
        PlaceAtTop(entry.second);
        return;
    }

    if (int(fslTempMenuList.size()) > FiCount) {
        delete fslTempMenuList.back().second;
        fslTempMenuList.pop_back();
    }
    auto* item = new QAction(sFileName, this);
    item->setObjectName(QStringLiteral("mnuTemp%1").arg(++fiMenuCounter));
    item->setStatusTip(FsHint);
    item->setToolTip(FsHint);
    connect(item, &QAction::triggered, this, [this, sFileName] {
        if (FOnOpenFile)
            FOnOpenFile(sFileName);
    });
    fslTempMenuList.insert(fslTempMenuList.begin(), {sFileName, item});
    PlaceAtTop(item);
}

void TRecentMenuFileList::LoadFileList(const QString& sFileNameList)
{
    const QStringList lines = sFileNameList.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (!it->trimmed().isEmpty())
            Insert(*it);
    }
}

QString TRecentMenuFileList::GetFileList() const
{
    QString sList;
    for (const auto& entry : fslTempMenuList)
        sList += entry.first + QStringLiteral("\r\n");
    return sList;
}

QStringList TRecentMenuFileList::Files() const
{
    QStringList files;
    for (const auto& entry : fslTempMenuList)
        files.append(entry.first);
    return files;
}
