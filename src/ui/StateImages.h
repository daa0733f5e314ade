#pragma once

#include <QIcon>
#include <QString>

// The state images of the test tree, indices 1 to 14 (even indices: with a break point); a null
// icon for 0 and anything out of range.
QIcon StateImage(int iIndex);
// A toolbar or dialog image by its name ("start", "passed", ...).
QIcon UiIcon(const QString& sName);
