#pragma once

#include <QLayout>
#include <QList>
#include <QStyle>
#include <initializer_list>

// Lays its items out left to right and starts a new row when the next one
// would not fit, so a row of controls never cuts a caption: at a narrow width
// or a large font the controls take more rows instead. An item may be a
// layout (a caption with its box), which then moves as one piece.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(QWidget* parent = nullptr, int hSpacing = -1, int vSpacing = -1);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    // Keeps a caption and its control together on one row.
    void addLayout(QLayout* layout);
    // A gap of the given width between two items of a row.
    void addSpacing(int width);

    int horizontalSpacing() const;
    int verticalSpacing() const;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;
    QSize sizeHint() const override;
    QLayoutItem* takeAt(int index) override;

private:
    int doLayout(const QRect& rect, bool testOnly) const;
    int smartSpacing(QStyle::PixelMetric pm) const;

    QList<QLayoutItem*> m_items;
    int m_hSpace;
    int m_vSpace;
};

class QHBoxLayout;
// Widgets that a flow keeps on one row, side by side (a caption with its box).
QHBoxLayout* OnePiece(std::initializer_list<QWidget*> widgets);
