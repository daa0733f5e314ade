#pragma once

#include <QDialog>

#include <utility>
#include <vector>

class QLabel;
class QListWidget;

// The program's name and version and the device modules with their versions.
class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* aParent = nullptr);

    void SetDeviceModules(const std::vector<std::pair<QString, QString>>& aModules);
    QListWidget* Modules() const { return fModules; }

private:
    QListWidget* fModules;
};
