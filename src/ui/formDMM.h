#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;
class TLCD99;

// The read-out window of an indicator: a caption at the top left and a seven-segment read-out
// below it, on black.
class TfrmDMM : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmDMM(QWidget* aParent = nullptr);

    QString Text() const;
    void SetText(const QString& sText);
    int Digits() const;
    // 24 pixels per cell; the read-out shows one "-" per cell until the next value.
    void SetDigits(int iDigits);
    QColor ValueColor() const;
    void SetValueColor(const QColor& aColor);
    QString Value() const;
    void SetValue(const QString& sValue);

    QLabel* lblText;
    TLCD99* LCD991;
};
