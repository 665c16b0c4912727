#pragma once

#include <QString>

class QComboBox;
class QAbstractItemView;
class QTreeView;

// Routines shared by the windows' lists and drop-downs.

// Widens the drop-down list of a combo box to its longest item (the combo's
// own width does not change), capped at the distance to the screen's right edge.
void WidenDropDown(QComboBox* combo);

// Alternating row colours RGB(231, 248, 237) and white. A row is the height of
// the list font's text plus one pixel (plus five when taller), or exactly
// rowPixels when rowPixels > 0.
void PaintListStripes(QAbstractItemView* list, bool taller = false, int rowPixels = 0);

// Sets the width of every column; mode -2 fits each column to the wider of its
// contents and its header (the only mode the windows use), -1 to its contents.
void AutoSizeColumns(QTreeView* list, int mode = -2);

// Gives a control its design name, which tests and other windows find it by.
template <typename T> T* named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}
