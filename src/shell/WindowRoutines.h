#pragma once

#include <QString>

#include <QList>

class QAbstractButton;
class QComboBox;
class QAbstractItemView;
class QLabel;
class QTreeView;
class QWidget;

// Routines shared by the windows' lists and drop-downs.

// Widens the drop-down list of a combo box to its longest item (the combo's
// own width does not change), capped at the distance to the screen's right edge.
void WidenDropDown(QComboBox* combo);

// Alternating row colours RGB(231, 248, 237) and white (under a dark palette
// the palette's own base with a green tint of it, so the text stays readable). A row is the height
// of the list font's text plus one pixel (plus five when taller), or exactly rowPixels when
// rowPixels > 0.
void PaintListStripes(QAbstractItemView* list, bool taller = false, int rowPixels = 0);

// Sets the width of every column; mode -2 fits each column to the wider of its
// contents and its header (the only mode the windows use), -1 to its contents.
void AutoSizeColumns(QTreeView* list, int mode = -2);

// Gives a control its design name, which tests and other windows find it by.
template <typename T> T* named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}

// --- Keyboard and screen readers ---

// A control without text of its own is read by a screen reader under this
// caption: the label's caption (runs of spaces and a closing colon dropped).
void NameAfterCaption(QWidget* control, const QString& caption);
// The label names the control and takes it its mnemonic's focus.
void LabelFor(QLabel* label, QWidget* control);

// A group of options is one stop of the Tab key, at its checked option (the
// first when none is checked); the arrow keys move within the group.
void TabToCheckedOption(const QList<QAbstractButton*>& group);
