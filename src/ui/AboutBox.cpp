#include "AboutBox.h"

#include "StateImages.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget* aParent) : QDialog(aParent), fModules(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("About TZK"));
    auto* picture = new QLabel(this);
    picture->setPixmap(UiIcon(QStringLiteral("app")).pixmap(48, 48));
    auto* title = new QLabel(QStringLiteral("<b>TZK</b><br>Test sequencer for production and quality "
                                            "testing<br>Version %1")
                                 .arg(QStringLiteral(TZK_VERSION)),
                             this);
    auto* head = new QHBoxLayout();
    head->addWidget(picture);
    head->addWidget(title, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(new QLabel(QStringLiteral("Device modules:"), this));
    layout->addWidget(fModules, 1);
    layout->addWidget(buttons);
}

void TAboutBox::SetDeviceModules(const std::vector<std::pair<QString, QString>>& aModules)
{
    fModules->clear();
    for (const auto& [sName, sVersion] : aModules)
        fModules->addItem(QStringLiteral("%1 %2").arg(sName, sVersion));
}
