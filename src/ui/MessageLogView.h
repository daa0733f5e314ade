#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QListView>
#include <QStyledItemDelegate>

#include <functional>
#include <vector>

class TMsgLog;

// The lines of a TMsgLog as a list model; the colour of each line is its foreground role.
class TMessageLogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit TMessageLogModel(TMsgLog& aLog, QObject* aParent = nullptr);

    int rowCount(const QModelIndex& aParent = QModelIndex()) const override;
    QVariant data(const QModelIndex& aIndex, int iRole) const override;

    static QColor LineColour(int eType);

private:
    TMsgLog& fLog;
    int fiRows = 0;
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
    std::vector<int> SelectedRows() const;
    // Shows only the lines aShow accepts (a station's view of one socket); null shows all.
    void SetLineFilter(std::function<bool(const QString& sLine)> aShow);

private:
    void FilterRows(int iFirst, int iLast);

    TMsgLog& fLog;
    std::function<bool(const QString&)> fShow;
    TMessageLogModel* fModel;
};
