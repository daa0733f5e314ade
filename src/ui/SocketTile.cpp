#include "SocketTile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int ciTileWidth = 240;
constexpr int ciTileHeight = 128;

QString ElapsedText(qint64 iMs)
{
    const qint64 iSeconds = iMs / 1000;
    return QStringLiteral("%1:%2").arg(iSeconds / 60).arg(iSeconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TSocketTile::TSocketTile(int iSocket, QWidget* aParent)
    : QFrame(aParent), fiSocket(iSocket), fNumber(new QLabel(this)), fId(new QLabel(this)),
      fStep(new QLabel(this)), fElapsed(new QLabel(this)), fState(new QLabel(this)),
      fStart(new QPushButton(QStringLiteral("Start"), this)),
      fReport(new QPushButton(QStringLiteral("Error Report"), this))
{
    setObjectName(QStringLiteral("socketTile%1").arg(iSocket));
    fStepTimer.setSingleShot(true);
    fStepTimer.setInterval(100);
    connect(&fStepTimer, &QTimer::timeout, this, &TSocketTile::ShowStep);
    fStart->setObjectName(QStringLiteral("socketTileStart%1").arg(iSocket));
    fReport->setObjectName(QStringLiteral("socketTileReport%1").arg(iSocket));
    fState->setObjectName(QStringLiteral("socketTileState%1").arg(iSocket));
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setFixedSize(ciTileWidth, ciTileHeight);
    setToolTip(QStringLiteral("Socket %1: click to show its tree and log").arg(iSocket));

    QFont bold = fNumber->font();
    bold.setBold(true);
    fNumber->setFont(bold);
    fNumber->setText(QStringLiteral("Socket %1").arg(iSocket));
    fElapsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fElapsed->setText(ElapsedText(0));
    fStep->setWordWrap(false);
    fId->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont large = fState->font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    large.setBold(true);
    fState->setFont(large);
    fState->setAlignment(Qt::AlignCenter);
    fState->setAutoFillBackground(true);
    fState->setMinimumHeight(34);
    fReport->setVisible(false);
    fStart->setToolTip(QStringLiteral("Start socket %1").arg(iSocket));
    fStart->setFocusPolicy(Qt::NoFocus);
    fReport->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setVerticalSpacing(2);
    layout->addWidget(fNumber, 0, 0);
    layout->addWidget(fElapsed, 0, 1);
    layout->addWidget(fId, 1, 0, 1, 2);
    layout->addWidget(fStep, 2, 0, 1, 2);
    layout->addWidget(fState, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(fStart);
    buttons->addWidget(fReport);
    layout->addLayout(buttons, 4, 0, 1, 2);

    connect(fStart, &QPushButton::clicked, this, [this] { Q_EMIT StartClicked(fiSocket); });
    connect(fReport, &QPushButton::clicked, this, [this] { Q_EMIT ReportClicked(fiSocket); });
    SetUnitId(QString());
    ShowState();
}

QString TSocketTile::StateWord(ESocketState eState, const QString& sDevice)
{
    switch (eState) {
    case ESocketState::Ready:
        return QStringLiteral("Ready");
    case ESocketState::Running:
        return QStringLiteral("Running");
    case ESocketState::Paused:
        return QStringLiteral("Paused");
    case ESocketState::WaitingForDevice:
        return QStringLiteral("Waiting for ") + sDevice;
    case ESocketState::WaitingForOperator:
        return QStringLiteral("Waiting for operator");
    case ESocketState::Passed:
        return QStringLiteral("Passed");
    case ESocketState::Failed:
        return QStringLiteral("Failed");
    case ESocketState::Stopped:
        return QStringLiteral("Stopped");
    }
    return QString();
}

QColor TSocketTile::StateColour(ESocketState eState)
{
    switch (eState) {
    case ESocketState::Ready:
        return QColor(220, 220, 220);
    case ESocketState::Running:
        return QColor(160, 200, 255);
    case ESocketState::Paused:
    case ESocketState::WaitingForDevice:
        return QColor(255, 230, 140);
    case ESocketState::WaitingForOperator:
        return QColor(255, 180, 60);
    case ESocketState::Passed:
        return QColor(120, 220, 120);
    case ESocketState::Failed:
        return QColor(255, 110, 110);
    case ESocketState::Stopped:
        return QColor(190, 170, 210);
    }
    return QColor(Qt::white);
}

void TSocketTile::SetState(ESocketState eState, const QString& sDevice)
{
    if (eState == feState && sDevice == fsDevice)
        return;
    feState = eState;
    fsDevice = sDevice;
    ShowState();
}

QString TSocketTile::StateText() const
{
    return StateWord(feState, fsDevice);
}

void TSocketTile::ShowState()
{
    fState->setText(StateText());
    QPalette palette = fState->palette();
    palette.setColor(QPalette::Window, StateColour(feState));
    palette.setColor(QPalette::WindowText, Qt::black);
    fState->setPalette(palette);
}

void TSocketTile::SetUnitId(const QString& sId)
{
    fId->setText(sId.isEmpty() ? QStringLiteral("ID: -") : QStringLiteral("ID: ") + sId);
}

void TSocketTile::SetStep(const QString& sCase, const QString& sStep)
{
    QString sText = sCase;
    if (!sStep.isEmpty() && sStep != sCase)
        sText += QStringLiteral(" / ") + sStep;
    if (sText == fsStep)
        return;
    fsStep = sText;
    if (!fStepTimer.isActive())
        fStepTimer.start();
}

void TSocketTile::ShowStep()
{
    fStep->setToolTip(fsStep);
    fStep->setText(fStep->fontMetrics().elidedText(fsStep, Qt::ElideRight, ciTileWidth - 14));
}

void TSocketTile::StartClock()
{
    fClock.start();
    fiFrozenMs = -1;
    ShowElapsed();
}

void TSocketTile::StopClock()
{
    if (fClock.isValid())
        fiFrozenMs = fClock.elapsed();
    fClock.invalidate();
    ShowElapsed();
}

void TSocketTile::ShowElapsed()
{
    const qint64 iMs = fClock.isValid() ? fClock.elapsed() : std::max<qint64>(fiFrozenMs, 0);
    fElapsed->setText(ElapsedText(iMs));
}

void TSocketTile::SetStartEnabled(bool bEnabled)
{
    fStart->setEnabled(bEnabled);
}

void TSocketTile::SetReportWaiting(bool bWaiting)
{
    fReport->setVisible(bWaiting);
}

void TSocketTile::SetSelected(bool bSelected)
{
    fbSelected = bSelected;
    setLineWidth(bSelected ? 3 : 1);
    setFrameShadow(bSelected ? QFrame::Sunken : QFrame::Plain);
}

void TSocketTile::mousePressEvent(QMouseEvent* aEvent)
{
    if (aEvent->button() == Qt::LeftButton)
        Q_EMIT Clicked(fiSocket);
    QFrame::mousePressEvent(aEvent);
}

TSocketStrip::TSocketStrip(int iSockets, QWidget* aParent) : QFrame(aParent), fScroll(new QScrollArea(this))
{
    setObjectName(QStringLiteral("socketStrip"));
    auto* inner = new QWidget(fScroll);
    auto* row = new QHBoxLayout(inner);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(4);
    for (int i = 1; i <= iSockets; ++i) {
        fTiles.push_back(new TSocketTile(i, inner));
        row->addWidget(fTiles.back());
    }
    row->addStretch(1);
    fScroll->setWidget(inner);
    fScroll->setWidgetResizable(true);
    fScroll->setFrameShape(QFrame::NoFrame);
    fScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fScroll);
    // Room for the tiles and, when they do not fit, the scroll bar below them.
    setFixedHeight(ciTileHeight + 8 + fScroll->horizontalScrollBar()->sizeHint().height());
}

void TSocketStrip::SetSelected(int iSocket)
{
    for (TSocketTile* tile : fTiles)
        tile->SetSelected(tile->Socket() == iSocket);
    if (iSocket >= 1 && iSocket <= Count())
        fScroll->ensureWidgetVisible(Tile(iSocket));
}
