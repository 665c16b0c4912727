#pragma once

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPointer>

// A caption with a run of spaces in it that holds a control, as in
// "两个文件下载间隔：        秒": the text stays as it is, and the run is drawn as
// a gap as wide as the control, which sits in it.
class CaptionWithGap : public QLabel {
public:
    CaptionWithGap(const QString& text, QWidget* parent) : QLabel(text, parent) {}

    void setGapWidget(QWidget* widget) {
        m_gapWidget = widget;
        widget->setParent(this);
        // Screen readers read the box under the caption around it.
        widget->setAccessibleName(text().simplified());
        updateGeometry();
        placeGapWidget();
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        const int width =
            fm.horizontalAdvance(before()) + gapWidth() + fm.horizontalAdvance(after());
        return {width, qMax(fm.height(), gapSize().height())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    // A box whose size changed (filled later, a larger font) asks its parent,
    // this caption, to lay it out again: the gap follows it.
    bool event(QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) {
            updateGeometry();
            placeGapWidget();
        }
        return QLabel::event(event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics fm(font());
        const QRect r = contentsRect();
        p.setPen(palette().color(foregroundRole()));
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, before());
        const QRect rest = r.adjusted(fm.horizontalAdvance(before()) + gapWidth(), 0, 0, 0);
        p.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter, after());
    }
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        placeGapWidget();
    }

private:
    int gapStart() const { return static_cast<int>(text().indexOf(QLatin1String("  "))); }
    int gapEnd() const {
        int end = gapStart();
        while (end >= 0 && end < text().size() && text().at(end) == QLatin1Char(' '))
            ++end;
        return end;
    }
    QString before() const { return gapStart() < 0 ? text() : text().left(gapStart()); }
    QString after() const { return gapStart() < 0 ? QString() : text().mid(gapEnd()); }
    // The box's own size, within the limits it was given.
    QSize gapSize() const {
        if (!m_gapWidget)
            return {};
        return m_gapWidget->sizeHint()
            .boundedTo(m_gapWidget->maximumSize())
            .expandedTo(m_gapWidget->minimumSize());
    }
    int gapWidth() const { return m_gapWidget ? gapSize().width() + 8 : 0; }
    void placeGapWidget() {
        if (!m_gapWidget)
            return;
        const QSize size = gapSize();
        const int x = QFontMetrics(font()).horizontalAdvance(before()) + 4;
        m_gapWidget->setGeometry(x, qMax(0, (height() - size.height()) / 2), size.width(),
                                 size.height());
    }

    QPointer<QWidget> m_gapWidget;
};
