#include "shell/WindowRoutines.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace {
// Gives every row of a list the same height without asking each item.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(int rowHeight, QObject* parent)
        : QStyledItemDelegate(parent), m_rowHeight(rowHeight) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(m_rowHeight);
        return s;
    }

private:
    int m_rowHeight;
};
} // namespace

void WidenDropDown(QComboBox* combo) {
    if (!combo || combo->count() == 0)
        return;
    int longest = 0;
    for (int i = 1; i < combo->count(); ++i) {
        if (combo->itemText(i).size() > combo->itemText(longest).size())
            longest = i;
    }
    const QFontMetrics fm(combo->font());
    int width = fm.horizontalAdvance(combo->itemText(longest)) + 7;
    if (combo->count() >= 9)
        width += combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (const QScreen* screen = combo->screen()) {
        const int leftEdge = combo->mapToGlobal(QPoint(0, 0)).x();
        const int room = screen->geometry().right() - leftEdge;
        if (room > 0)
            width = qMin(width, room);
    }
    combo->view()->setMinimumWidth(qMax(width, combo->width()));
}

void PaintListStripes(QAbstractItemView* list, bool taller, int rowPixels) {
    if (!list)
        return;
    QPalette pal = list->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(231, 248, 237));
    list->setPalette(pal);
    list->setAlternatingRowColors(true);
    const QFontMetrics fm(list->font());
    const int rowHeight = rowPixels > 0 ? rowPixels : fm.height() + (taller ? 5 : 1);
    if (auto* old = dynamic_cast<FixedRowDelegate*>(list->itemDelegate()))
        old->deleteLater();
    list->setItemDelegate(new FixedRowDelegate(rowHeight, list));
    if (auto* tree = qobject_cast<QTreeView*>(list))
        tree->setUniformRowHeights(true);
}

void AutoSizeColumns(QTreeView* list, int mode) {
    if (!list || !list->model())
        return;
    const int columns = list->model()->columnCount();
    QHeaderView* header = list->header();
    for (int c = 0; c < columns; ++c) {
        list->resizeColumnToContents(c);
        if (mode == -2 && !header->isHidden()) {
            const int headerWidth = header->sectionSizeHint(c);
            if (header->sectionSize(c) < headerWidth)
                header->resizeSection(c, headerWidth);
        }
    }
}
