#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

// The recently opened files as entries of the File menu, newest on top, at most Count + 1.
class TRecentMenuFileList : public QObject
{
    Q_OBJECT

public:
    using TOpenFileEvent = std::function<void(const QString& sFileName)>;

    // iMenuIndex: the top-level menu that holds the entries; iPosition: the place of the newest.
    TRecentMenuFileList(QMenuBar* oMainMenu, QObject* oParent, int iMenuIndex, int iPosition);
    ~TRecentMenuFileList() override;

    void Insert(const QString& sFileName);
    // Inserts the lines from the last to the first, so that the first ends up on top.
    void LoadFileList(const QString& sFileNameList);
    // All paths, newest first, each followed by CR LF.
    QString GetFileList() const;

    const QString& Hint() const { return FsHint; }
    void SetHint(const QString& sHint) { FsHint = sHint; }
    int Count() const { return FiCount; }
    void SetOnOpenFile(TOpenFileEvent aEvent) { FOnOpenFile = std::move(aEvent); }

    QStringList Files() const;
    QAction* MenuItem(int iIndex) const { return fslTempMenuList[std::size_t(iIndex)].second; }

private:
    QMenu* Menu() const;
    void PlaceAtTop(QAction* aItem);

    QMenuBar* fMainMenu;
    QObject* fParent;
    int fiMenuIndex;
    int fiPosition;
    std::vector<std::pair<QString, QAction*>> fslTempMenuList;
    int fiMenuCounter = 0;
    int FiCount = 9;
    TOpenFileEvent FOnOpenFile;
    QString FsHint;
};
