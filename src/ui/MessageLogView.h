#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QListView>
#include <QStyledItemDelegate>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class TMsgLog;

// The lines of a TMsgLog as a list model; the colour of each line is its foreground role. With a
// filter the rows are only the lines it accepts (a station's view of one socket), kept as a list
// of the log's line numbers, so that a new line costs the same however long the log is.
class TMessageLogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using TFilter = std::function<bool(const QString& sLine)>;

    explicit TMessageLogModel(TMsgLog& aLog, QObject* aParent = nullptr);

    int rowCount(const QModelIndex& aParent = QModelIndex()) const override;
    QVariant data(const QModelIndex& aIndex, int iRole) const override;

    // Shows only the lines aShow accepts; null shows every line.
    void SetFilter(TFilter aShow);
    // The log's line shown in iRow.
    int LogLine(int iRow) const;

    static QColor LineColour(int eType);

private:
    void Rebuild();

    TMsgLog& fLog;
    int fiRows = 0;
    TFilter fShow;
    // With a filter: the shown lines, counted from the log's first line ever, so that lines the
    // log drops from its top only shift the base.
    std::deque<std::int64_t> fShown;
    std::int64_t fiDropped = 0;
};

// Draws one log line: light blue behind a selected line, the text always in its own colour.
class TMessageLogDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int ciScrollWidth = 2000;
    static QColor SelectedBackground() { return QColor(166, 210, 255); }

    void paint(QPainter* aPainter, const QStyleOptionViewItem& aOption,
               const QModelIndex& aIndex) const override;
    QSize sizeHint(const QStyleOptionViewItem& aOption, const QModelIndex& aIndex) const override;
};

// The message log window: an owner-drawn, multi-selection list that keeps the newest line in view.
class TMessageLogView : public QListView
{
    Q_OBJECT

public:
    explicit TMessageLogView(TMsgLog& aLog, QWidget* aParent = nullptr);

    // The selected lines, each followed by CR LF, to the clipboard; nothing without a selection.
    bool CopySelection();
    // The log lines of the selected rows, ascending.
    std::vector<int> SelectedRows() const;
    // Shows only the lines aShow accepts (a station's view of one socket); null shows all.
    void SetLineFilter(std::function<bool(const QString& sLine)> aShow);
    // The log's line shown in iRow of the view; -1 for no such row.
    int ShownLine(int iRow) const;

private:
    TMsgLog& fLog;
    TMessageLogModel* fModel;
};
