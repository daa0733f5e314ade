#include "MessageLogView.h"

#include "core/MsgLog.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

TMessageLogModel::TMessageLogModel(TMsgLog& aLog, QObject* aParent)
    : QAbstractListModel(aParent), fLog(aLog), fiRows(aLog.Count())
{
    connect(&fLog, &TMsgLog::LinesAdded, this, [this](int iFirst, int iCount) {
        if (iCount <= 0)
            return;
        if (!fShow) {
            beginInsertRows(QModelIndex(), iFirst, iFirst + iCount - 1);
            fiRows += iCount;
            endInsertRows();
            return;
        }
        std::vector<std::int64_t> added;
        for (int i = iFirst; i < iFirst + iCount && i < fLog.Count(); ++i)
            if (fShow(fLog.Lines()[std::size_t(i)].sText))
                added.push_back(fiDropped + i);
        if (added.empty())
            return;
        beginInsertRows(QModelIndex(), fiRows, fiRows + int(added.size()) - 1);
        fShown.insert(fShown.end(), added.begin(), added.end());
        fiRows = int(fShown.size());
        endInsertRows();
    });
    connect(&fLog, &TMsgLog::LinesRemoved, this, [this](int iCount) {
        if (iCount <= 0)
            return;
        if (!fShow) {
            beginRemoveRows(QModelIndex(), 0, iCount - 1);
            fiRows -= iCount;
            endRemoveRows();
            return;
        }
        fiDropped += iCount;
        const auto kept = std::lower_bound(fShown.begin(), fShown.end(), fiDropped);
        const int iGone = int(kept - fShown.begin());
        if (iGone == 0)
            return;
        beginRemoveRows(QModelIndex(), 0, iGone - 1);
        fShown.erase(fShown.begin(), kept);
        fiRows = int(fShown.size());
        endRemoveRows();
    });
    connect(&fLog, &TMsgLog::Cleared, this, [this] {
        beginResetModel();
        Rebuild();
        endResetModel();
    });
}

void TMessageLogModel::SetFilter(TFilter aShow)
{
    beginResetModel();
    fShow = std::move(aShow);
    Rebuild();
    endResetModel();
}

void TMessageLogModel::Rebuild()
{
    fShown.clear();
    fiDropped = 0;
    if (!fShow) {
        fiRows = fLog.Count();
        return;
    }
    for (int i = 0; i < fLog.Count(); ++i)
        if (fShow(fLog.Lines()[std::size_t(i)].sText))
            fShown.push_back(i);
    fiRows = int(fShown.size());
}

int TMessageLogModel::LogLine(int iRow) const
{
    if (!fShow)
        return iRow;
    return iRow >= 0 && std::size_t(iRow) < fShown.size() ? int(fShown[std::size_t(iRow)] - fiDropped) : -1;
}

int TMessageLogModel::rowCount(const QModelIndex& aParent) const
{
    return aParent.isValid() ? 0 : fiRows;
}

QColor TMessageLogModel::LineColour(int eType)
{
    const TLogColour colour = TMsgLog::Colour(static_cast<TMsgTypeId>(eType));
    if (colour.bSystemText)
        return QToolTip::palette().color(QPalette::ToolTipText);
    return QColor(colour.iRed, colour.iGreen, colour.iBlue);
}

QVariant TMessageLogModel::data(const QModelIndex& aIndex, int iRole) const
{
    const int iLine = aIndex.isValid() ? LogLine(aIndex.row()) : -1;
    if (iLine < 0 || iLine >= fLog.Count())
        return {};
    const TLogLine& line = fLog.Lines()[std::size_t(iLine)];
    switch (iRole) {
    case Qt::DisplayRole:
        return line.sText;
    case Qt::ForegroundRole:
        return LineColour(line.eType);
    default:
        return {};
    }
}

void TMessageLogDelegate::paint(QPainter* aPainter, const QStyleOptionViewItem& aOption,
                                const QModelIndex& aIndex) const
{
    aPainter->save();
    const bool bSelected = aOption.state & QStyle::State_Selected;
    aPainter->fillRect(aOption.rect, bSelected ? SelectedBackground() : aOption.palette.base().color());
    aPainter->setPen(aIndex.data(Qt::ForegroundRole).value<QColor>());
    aPainter->setFont(aOption.font);
    const QRect textRect = aOption.rect.adjusted(2, 0, 0, 0);
    aPainter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       aIndex.data(Qt::DisplayRole).toString());
    if (aOption.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(aOption);
        focus.backgroundColor = bSelected ? SelectedBackground() : aOption.palette.base().color();
        const QWidget* widget = aOption.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, aPainter, widget);
    }
    aPainter->restore();
}

QSize TMessageLogDelegate::sizeHint(const QStyleOptionViewItem& aOption, const QModelIndex& /*aIndex*/) const
{
    return {ciScrollWidth, aOption.fontMetrics.height() + 2};
}

TMessageLogView::TMessageLogView(TMsgLog& aLog, QWidget* aParent)
    : QListView(aParent), fLog(aLog), fModel(new TMessageLogModel(aLog, this))
{
    setModel(fModel);
    setItemDelegate(new TMessageLogDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setToolTip(QStringLiteral("Information protocol window"));
    setStatusTip(toolTip());
    // The newest line always stays in view.
    connect(fModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int, int iLast) {
        scrollTo(fModel->index(iLast), QAbstractItemView::PositionAtTop);
    });
}

void TMessageLogView::SetLineFilter(std::function<bool(const QString& sLine)> aShow)
{
    fModel->SetFilter(std::move(aShow));
    if (fModel->rowCount() > 0)
        scrollToBottom();
}

int TMessageLogView::ShownLine(int iRow) const
{
    return fModel->LogLine(iRow);
}

std::vector<int> TMessageLogView::SelectedRows() const
{
    std::vector<int> rows;
    const QModelIndexList selected = selectionModel()->selectedRows();
    rows.reserve(std::size_t(selected.size()));
    for (const QModelIndex& index : selected) {
        const int iLine = fModel->LogLine(index.row());
        if (iLine >= 0)
            rows.push_back(iLine);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool TMessageLogView::CopySelection()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return false;
    QApplication::clipboard()->setText(fLog.CopyText(rows));
    return true;
}
