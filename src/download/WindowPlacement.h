#pragma once

#include <QString>

class QWidget;
class SettingsStore;

// Window positions and sizes are kept in twips, 15 to a pixel at 96 dpi, so a
// stored placement means the same on every screen of that resolution.
namespace Twips {
constexpr int PerPixel = 15;
inline int fromPixels(int pixels) {
    return pixels * PerPixel;
}
// Rounded to the nearest pixel, halves away from zero.
int toPixels(int twips);
} // namespace Twips

// "width*height" of a screen in pixels, from its size in twips, each divided by
// 15 and rounded (for example 1920*1080).
QString ScreenResolutionText(int screenWidthTwips, int screenHeightTwips);

// A window placement in twips, as stored under the window's name.
struct WindowPlacement {
    bool maximised = false;
    int top = 100;
    int left = 100;
    int width = 15000;
    int height = 10000;
};

// What a window loading now should do: maximised when the stored resolution
// ("分辨率", default "000") is not currentResolution, else the stored top, left,
// width and height (defaults 100, 100, 15000, 10000; top and left at least 0,
// width at least 4000, height at least 3000; unreadable numbers take the default).
WindowPlacement ReadWindowPlacement(const SettingsStore& settings, const QString& section,
                                    const QString& currentResolution);

// Stores a placement: a maximised window only writes "分辨率" = "0*0" (so it
// opens maximised next time); otherwise the resolution and the four numbers.
void WriteWindowPlacement(SettingsStore& settings, const QString& section,
                          const WindowPlacement& placement, const QString& currentResolution);

// The resolution text of the screen the window is on (the primary screen when
// it has none).
QString ScreenResolutionTextOf(const QWidget* window);

// Save and restore a window's placement in the settings section named after the
// window (its objectName), in twips.
void SaveWindowPlacement(QWidget* window);
void RestoreWindowPlacement(QWidget* window);
