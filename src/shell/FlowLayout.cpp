#include "shell/FlowLayout.h"

#include <QHBoxLayout>
#include <QSpacerItem>
#include <QStyle>
#include <QWidget>

FlowLayout::FlowLayout(QWidget* parent, int hSpacing, int vSpacing)
    : QLayout(parent), m_hSpace(hSpacing), m_vSpace(vSpacing) {}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
    invalidate();
}

void FlowLayout::addLayout(QLayout* layout) {
    addChildLayout(layout);
    addItem(layout);
}

void FlowLayout::addSpacing(int width) {
    addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
}

int FlowLayout::horizontalSpacing() const {
    return m_hSpace >= 0 ? m_hSpace : qMax(0, smartSpacing(QStyle::PM_LayoutHorizontalSpacing));
}

int FlowLayout::verticalSpacing() const {
    return m_vSpace >= 0 ? m_vSpace : qMax(0, smartSpacing(QStyle::PM_LayoutVerticalSpacing));
}

QLayoutItem* FlowLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations FlowLayout::expandingDirections() const {
    return {};
}

int FlowLayout::heightForWidth(int width) const {
    return doLayout(QRect(0, 0, width, 0), true);
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    doLayout(rect, false);
}

QSize FlowLayout::sizeHint() const {
    // Everything on one row.
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        if (width > 0)
            width += horizontalSpacing();
        width += item->sizeHint().width();
        height = qMax(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

QSize FlowLayout::minimumSize() const {
    // The widest single item: narrower than that, something would be cut.
    QSize size;
    for (const QLayoutItem* item : m_items) {
        if (!item->isEmpty())
            size = size.expandedTo(item->minimumSize().expandedTo(item->sizeHint()));
    }
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

int FlowLayout::doLayout(const QRect& rect, bool testOnly) const {
    const QMargins m = contentsMargins();
    const QRect area = rect.adjusted(m.left(), m.top(), -m.right(), -m.bottom());
    int x = area.x();
    int y = area.y();
    int rowHeight = 0;
    // A row's items are centred on the row's height, as a row of a box layout is.
    QList<QPair<QLayoutItem*, QRect>> row;
    const auto placeRow = [&] {
        if (!testOnly) {
            for (auto& [item, r] : row) {
                r.moveTop(r.top() + (rowHeight - r.height()) / 2);
                item->setGeometry(r);
            }
        }
        row.clear();
    };
    bool rowStartsHere = true;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        const bool spacer = item->spacerItem() != nullptr;
        // A spacer never starts a row.
        if (spacer && rowStartsHere)
            continue;
        int nextX = x + hint.width();
        if (!rowStartsHere && nextX > area.right() + 1 && rowHeight > 0) {
            placeRow();
            x = area.x();
            y += rowHeight + verticalSpacing();
            rowHeight = 0;
            rowStartsHere = true;
            if (spacer)
                continue;
            nextX = x + hint.width();
        }
        row.append({item, QRect(QPoint(x, y), hint)});
        x = nextX + (spacer ? 0 : horizontalSpacing());
        rowHeight = qMax(rowHeight, hint.height());
        rowStartsHere = false;
    }
    placeRow();
    return y + rowHeight - rect.y() + m.bottom();
}

int FlowLayout::smartSpacing(QStyle::PixelMetric pm) const {
    QObject* parent = this->parent();
    if (!parent)
        return -1;
    if (parent->isWidgetType()) {
        auto* pw = static_cast<QWidget*>(parent);
        return pw->style()->pixelMetric(pm, nullptr, pw);
    }
    return static_cast<QLayout*>(parent)->spacing();
}

QHBoxLayout* OnePiece(std::initializer_list<QWidget*> widgets) {
    auto* box = new QHBoxLayout;
    for (QWidget* w : widgets)
        box->addWidget(w);
    return box;
}
