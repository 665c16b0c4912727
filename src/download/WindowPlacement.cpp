#include "download/WindowPlacement.h"

#include "shell/AppValues.h"
#include "shell/SettingsStore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
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
