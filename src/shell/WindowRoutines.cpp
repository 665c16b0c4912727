#include "shell/WindowRoutines.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
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
    // The stripes follow the application's palette, not one set on the list
    // before (a light list would stay light under a dark desktop).
    QPalette pal = QApplication::palette(list);
    const QColor base = pal.color(QPalette::Base);
    if (base.lightness() >= 128) {
        pal.setColor(QPalette::Base, Qt::white);
        pal.setColor(QPalette::AlternateBase, QColor(231, 248, 237));
        pal.setColor(QPalette::Text, Qt::black);
    } else {
        // The same green (hue 142), as a tint a little lighter than the dark base.
        pal.setColor(QPalette::AlternateBase,
                     QColor::fromHsl(142, 60, qMin(255, base.lightness() + 18)));
    }
    list->setPalette(pal);
    list->setAlternatingRowColors(true);
    const QFontMetrics fm(list->font());
    // A row is never lower than its text: a larger font would cut it.
    const int textRow = fm.height() + 1;
    const int rowHeight = rowPixels > 0 ? qMax(rowPixels, textRow) : textRow + (taller ? 4 : 0);
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

void NameAfterCaption(QWidget* control, const QString& caption) {
    if (!control)
        return;
    QString name = caption.simplified();
    name.remove(QLatin1Char('&'));
    while (name.endsWith(QChar(0xFF1A)) || name.endsWith(QLatin1Char(':')))
        name.chop(1);
    control->setAccessibleName(name.trimmed());
}

void LabelFor(QLabel* label, QWidget* control) {
    if (!label || !control)
        return;
    label->setBuddy(control);
    NameAfterCaption(control, label->text());
}

void TabToCheckedOption(const QList<QAbstractButton*>& group) {
    if (group.isEmpty())
        return;
    // Options that only share a parent count as one group with every option
    // below that parent, in other frames too: Qt then takes the Tab stop from
    // all of them when one gets the focus. A group of their own keeps them apart.
    auto* buttons = new QButtonGroup(group.first()->parent());
    for (QAbstractButton* b : group)
        buttons->addButton(b);
    const auto follow = [group] {
        QAbstractButton* stop = nullptr;
        for (QAbstractButton* b : group) {
            if (b->isChecked())
                stop = b;
        }
        if (!stop && !group.isEmpty())
            stop = group.first();
        for (QAbstractButton* b : group) {
            const Qt::FocusPolicy policy = b->focusPolicy();
            b->setFocusPolicy(b == stop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                        : Qt::FocusPolicy(policy & ~Qt::TabFocus));
        }
    };
    for (QAbstractButton* b : group)
        QObject::connect(b, &QAbstractButton::toggled, b, follow);
    follow();
}
