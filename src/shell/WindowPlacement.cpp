#include "shell/WindowPlacement.h"

#include "shell/AppValues.h"
#include "shell/SettingsStore.h"

#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <QWindow>
#include <cmath>

using namespace SettingsKeys;

namespace {
// Far beyond any screen, and small enough that twips of it fit an int as pixels.
constexpr int MaxTwips = 1'000'000;
} // namespace

int Twips::toPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / PerPixel));
}

QString ScreenResolutionText(int screenWidthTwips, int screenHeightTwips) {
    return QStringLiteral("%1*%2")
        .arg(Twips::toPixels(screenWidthTwips))
        .arg(Twips::toPixels(screenHeightTwips));
}

WindowPlacement ReadWindowPlacement(const SettingsStore& settings, const QString& section,
                                    const QString& currentResolution) {
    WindowPlacement p;
    if (settings.read(section, Resolution, QStringLiteral("000")) != currentResolution) {
        p.maximised = true;
        return p;
    }
    p.top = settings.readInt(section, Top, 100, 0, MaxTwips);
    p.left = settings.readInt(section, Left, 100, 0, MaxTwips);
    p.width = settings.readInt(section, Width, 15000, 4000, MaxTwips);
    p.height = settings.readInt(section, Height, 10000, 3000, MaxTwips);
    return p;
}

void WriteWindowPlacement(SettingsStore& settings, const QString& section,
                          const WindowPlacement& placement, const QString& currentResolution) {
    if (placement.maximised) {
        settings.write(section, Resolution, QStringLiteral("0*0"));
        return;
    }
    settings.write(section, Resolution, currentResolution);
    settings.write(section, Top, placement.top);
    settings.write(section, Left, placement.left);
    settings.write(section, Width, placement.width);
    settings.write(section, Height, placement.height);
}

QString ScreenResolutionTextOf(const QWidget* window) {
    const QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QStringLiteral("0*0");
    const QSize size = screen->geometry().size();
    return ScreenResolutionText(Twips::fromPixels(size.width()), Twips::fromPixels(size.height()));
}

void SaveWindowPlacement(QWidget* window) {
    if (!window)
        return;
    WindowPlacement p;
    p.maximised = window->isMaximized();
    // Top and left are the outer corner (what move() sets), width and height the
    // inner size (what resize() sets), so saving and restoring round-trip.
    p.top = Twips::fromPixels(window->pos().y());
    p.left = Twips::fromPixels(window->pos().x());
    p.width = Twips::fromPixels(window->width());
    p.height = Twips::fromPixels(window->height());
    WriteWindowPlacement(app().settings(), window->objectName(), p, ScreenResolutionTextOf(window));
}

void RestoreWindowPlacement(QWidget* window) {
    if (!window)
        return;
    const WindowPlacement p =
        ReadWindowPlacement(app().settings(), window->objectName(), ScreenResolutionTextOf(window));
    if (p.maximised) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) |
                               Qt::WindowMaximized);
        return;
    }
    window->setWindowState(window->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    window->move(Twips::toPixels(p.left), Twips::toPixels(p.top));
    window->resize(Twips::toPixels(p.width), Twips::toPixels(p.height));
}

// --- Every window within the screen ---

QRect FitWithin(const QRect& frame, const QRect& area) {
    if (!area.isValid())
        return frame;
    QRect r(frame.topLeft(), frame.size().boundedTo(area.size()));
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    if (r.left() < area.left())
        r.moveLeft(area.left());
    if (r.top() < area.top())
        r.moveTop(area.top());
    return r;
}

QRect AvailableAreaAt(const QPoint& point) {
    const QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QRect AvailableAreaOf(const QWidget* window) {
    const QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QMargins FrameMarginsOf(const QWidget* window) {
    if (!window)
        return {};
    if (const QWindow* handle = window->windowHandle(); handle && handle->isVisible()) {
        const QMargins m = handle->frameMargins();
        if (!m.isNull())
            return m;
    }
    // Not shown yet: the window manager's frame is not known. A title bar
    // about a line and a half of the title font high, and thin borders.
    const int title = qMax(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window),
                           window->fontMetrics().height() * 3 / 2 + 8);
    const int border = 4;
    return {border, title, border, border};
}

namespace {
// The available area of the screen the frame stands on: the one at its
// top-left corner, else at its centre, else the window's own.
QRect AreaUnder(const QRect& frame, const QWidget* window) {
    for (const QPoint& p : {frame.topLeft(), frame.center()}) {
        if (const QScreen* screen = QGuiApplication::screenAt(p))
            return screen->availableGeometry();
    }
    return AvailableAreaOf(window);
}
} // namespace

void KeepWithinScreen(QWidget* window) {
    if (!window || (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QMargins m = FrameMarginsOf(window);
    const QRect inner = window->geometry();
    const QRect frame = inner.marginsAdded(m);
    const QRect fitted = FitWithin(frame, AreaUnder(frame, window));
    if (fitted == frame)
        return;
    window->resize(fitted.size().shrunkBy(m).expandedTo(QSize(1, 1)));
    window->move(fitted.topLeft());
}

namespace {

// Places a window on its first show, keeps it within the screen on every
// other, and stores its placement when it hides.
class PlacementKeeper : public QObject {
public:
    PlacementKeeper(QWidget* window, QSize designed, PlacementMemory memory)
        : QObject(window), m_window(window), m_designed(designed), m_memory(memory) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window)
            return false;
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            if (!m_placed) {
                m_placed = true;
                place();
            } else {
                KeepWithinScreen(m_window);
            }
        } else if (event->type() == QEvent::Hide && !event->spontaneous() && m_placed) {
            store();
        }
        return false;
    }

private:
    void place() {
        QWidget* w = m_window;
        if (w->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
            return;
        if (m_memory == PlacementMemory::None) {
            KeepWithinScreen(w);
            return;
        }
        const QWidget* parent = w->parentWidget() ? w->parentWidget()->window() : nullptr;
        if (parent && !parent->isVisible())
            parent = nullptr;

        QSize size = m_designed.isValid() ? m_designed : w->sizeHint();
        bool havePlace = false;
        QPoint place;
        // The place was kept on the screen it lies on, at that screen's resolution.
        WindowPlacement stored;
        stored.maximised = true;
        const QList<QScreen*> screens = QGuiApplication::screens();
        for (const QScreen* screen : screens) {
            const QSize s = screen->geometry().size();
            const WindowPlacement p = ReadWindowPlacement(
                app().settings(), w->objectName(),
                ScreenResolutionText(Twips::fromPixels(s.width()), Twips::fromPixels(s.height())));
            if (!p.maximised && (screens.size() == 1 ||
                                 screen->geometry().contains(
                                     QPoint(Twips::toPixels(p.left), Twips::toPixels(p.top))))) {
                stored = p;
                break;
            }
        }
        if (!stored.maximised) {
            size = QSize(Twips::toPixels(stored.width), Twips::toPixels(stored.height));
            if (m_memory == PlacementMemory::SizeAndPlace) {
                havePlace = true;
                place = QPoint(Twips::toPixels(stored.left), Twips::toPixels(stored.top));
            }
        }
        // Never smaller than the layout needs.
        size = size.expandedTo(w->minimumSize()).expandedTo(w->minimumSizeHint());

        const QMargins m = FrameMarginsOf(w);
        QRect frame(QPoint(0, 0), size.grownBy(m));
        QRect area;
        if (havePlace) {
            frame.moveTopLeft(place);
            area = AreaUnder(frame, w);
        } else if (parent) {
            frame.moveCenter(parent->frameGeometry().center());
            area = AvailableAreaAt(parent->frameGeometry().center());
        } else {
            area = AvailableAreaOf(w);
            frame.moveCenter(area.center());
        }
        frame = FitWithin(frame, area);
        w->resize(frame.size().shrunkBy(m));
        w->move(frame.topLeft());
    }

    void store() {
        QWidget* w = m_window;
        if (m_memory == PlacementMemory::None || w->isMinimized())
            return;
        WindowPlacement p;
        // A window closed maximised comes back at the size it had before.
        const bool full = w->isMaximized() || w->isFullScreen();
        const QRect inner = full ? w->normalGeometry() : w->geometry();
        const QMargins m = FrameMarginsOf(w);
        const QPoint frameTopLeft = full ? inner.topLeft() - QPoint(m.left(), m.top()) : w->pos();
        p.left = Twips::fromPixels(qMax(0, frameTopLeft.x()));
        p.top = Twips::fromPixels(qMax(0, frameTopLeft.y()));
        p.width = Twips::fromPixels(inner.width());
        p.height = Twips::fromPixels(inner.height());
        WriteWindowPlacement(app().settings(), w->objectName(), p, ScreenResolutionTextOf(w));
    }

    QWidget* m_window;
    QSize m_designed;
    PlacementMemory m_memory;
    bool m_placed = false;
};

} // namespace

void ManageWindowPlacement(QWidget* window, QSize designedSize, PlacementMemory memory) {
    if (window)
        new PlacementKeeper(window, designedSize, memory);
}

// --- List columns ---

void FitColumnsToView(QTreeView* list, int stretchColumn) {
    if (!list || !list->model())
        return;
    QHeaderView* header = list->header();
    const int columns = list->model()->columnCount();
    int others = 0;
    for (int c = 0; c < columns; ++c) {
        if (header->isSectionHidden(c))
            continue;
        list->resizeColumnToContents(c);
        // The header's own need, as the list measures it, plus room for the
        // sort mark some styles draw beside it.
        const int need = header->sectionSizeHint(c) +
                         list->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
        if (header->sectionSize(c) < need)
            header->resizeSection(c, need);
        if (c != stretchColumn)
            others += header->sectionSize(c);
    }
    if (stretchColumn < 0 || stretchColumn >= columns)
        return;
    // The column takes the room the others leave: narrower when its contents
    // are wider, wider
    // when the list is empty.
    const int room = list->viewport()->width() - others;
    const int least = header->sectionSizeHint(stretchColumn);
    header->resizeSection(stretchColumn, qMax(least, room));
}

namespace {

QString columnName(const QTreeView* list, int column) {
    return list->model()->headerData(column, Qt::Horizontal).toString();
}

class ColumnWidthKeeper : public QObject {
public:
    ColumnWidthKeeper(QTreeView* list, const QString& section, int stretchColumn)
        : QObject(list), m_list(list), m_section(section), m_stretch(stretchColumn) {
        m_save.setSingleShot(true);
        m_save.setInterval(1000);
        connect(&m_save, &QTimer::timeout, this, &ColumnWidthKeeper::store);
        list->installEventFilter(this);
        list->header()->viewport()->installEventFilter(this);
        if (QWidget* w = list->window(); w != list)
            w->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_list->header()->viewport()) {
            // Only a width the user dragged is kept; the lists fit their
            // columns themselves after many commands.
            if (event->type() == QEvent::MouseButtonPress)
                m_dragging = true;
            else if (event->type() == QEvent::MouseButtonRelease)
                m_dragging = false;
        } else if (watched == m_list && event->type() == QEvent::Show && !m_shown) {
            m_shown = true;
            // After the window's own layout has given the list its width.
            QTimer::singleShot(0, this, &ColumnWidthKeeper::firstShow);
        } else if (watched != m_list && event->type() == QEvent::Hide && m_userSet) {
            store();
        }
        return false;
    }

private:
    void firstShow() {
        const QHash<QString, int> stored = read();
        QHeaderView* header = m_list->header();
        if (stored.isEmpty()) {
            FitColumnsToView(m_list, m_stretch);
        } else {
            for (int c = 0; c < m_list->model()->columnCount(); ++c) {
                const int width = stored.value(columnName(m_list, c), -1);
                if (width > 0)
                    header->resizeSection(c, width);
                else
                    m_list->resizeColumnToContents(c);
            }
        }
        connect(header, &QHeaderView::sectionResized, this, [this] {
            if (!m_dragging)
                return;
            m_userSet = true;
            m_save.start();
        });
    }

    QHash<QString, int> read() const {
        QHash<QString, int> widths;
        const QString text = app().settings().read(m_section, ColumnWidthKeys::Widths, QString());
        for (const QString& pair : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int eq = static_cast<int>(pair.lastIndexOf(QLatin1Char('=')));
            bool ok = false;
            const int width = eq > 0 ? pair.mid(eq + 1).toInt(&ok) : 0;
            // Nothing wider than a screen several times over is a width a person set.
            if (ok && width > 0 && width < 20000)
                widths.insert(pair.left(eq), width);
        }
        return widths;
    }

    void store() {
        if (!m_userSet || !m_list->model())
            return;
        m_save.stop();
        QStringList pairs;
        for (int c = 0; c < m_list->model()->columnCount(); ++c) {
            const QString name = columnName(m_list, c);
            if (name.isEmpty() || name.contains(QLatin1Char(',')) ||
                name.contains(QLatin1Char('=')))
                continue;
            pairs << name + QLatin1Char('=') + QString::number(m_list->header()->sectionSize(c));
        }
        app().settings().write(m_section, ColumnWidthKeys::Widths, pairs.join(QLatin1Char(',')));
    }

    QTreeView* m_list;
    QString m_section;
    int m_stretch;
    QTimer m_save;
    bool m_shown = false;
    bool m_dragging = false;
    bool m_userSet = false;
};

} // namespace

void KeepColumnWidths(QTreeView* list, const QString& section, int stretchColumn) {
    if (list)
        new ColumnWidthKeeper(list, section, stretchColumn);
}
