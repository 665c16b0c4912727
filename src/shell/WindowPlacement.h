#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

class QTreeView;
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

// --- Every window within the screen ---
//
// A window opens within the available area of its screen (no part under a
// panel or past an edge): at its designed size where that fits, smaller where
// it does not, never smaller than its layout needs. Main windows come back
// where the user left them; dialogs come back at the size the user gave them,
// centred over the window that opened them.

// The frame rectangle moved, and first shrunk where it is larger, so that it
// lies within area.
QRect FitWithin(const QRect& frame, const QRect& area);

// The available area of the screen that holds the point, else of the primary screen.
QRect AvailableAreaAt(const QPoint& point);
// The available area of the screen the window is on (the primary screen's
// when it has none).
QRect AvailableAreaOf(const QWidget* window);

// The frame a window manager puts around the window: the real one once the
// window is shown, else a title bar's and a border's worth.
QMargins FrameMarginsOf(const QWidget* window);

// What a window keeps of its placement under its own name between runs.
enum class PlacementMemory {
    None,        // placed where the code put it; only kept within the screen
    Size,        // a dialog: the size the user gave it, centred over its parent
    SizeAndPlace // a main window: where the user left it
};

// Looks after a top-level window: places it when it is first shown (the
// stored size and place, else designedSize centred over its parent or the
// screen), keeps it within the screen whenever it is shown again, and stores
// its placement in twips when it hides, in the keys of the download window's
// memory under the window's objectName. Windows opened at another screen
// resolution take the designed size again.
void ManageWindowPlacement(QWidget* window, QSize designedSize,
                           PlacementMemory memory = PlacementMemory::SizeAndPlace);

// Moves the window (shrinking it first where needed) back within the
// available area of its screen; a maximised or full-screen window is left alone.
void KeepWithinScreen(QWidget* window);

// --- List columns ---

namespace ColumnWidthKeys {
// "header=width,header=width,..." in pixels, under the window's section.
inline const QString Widths = QStringLiteral("列宽");
} // namespace ColumnWidthKeys

// Fits the columns of a list to the wider of their contents and their
// header, and gives the column stretchColumn the room the others leave
// (never less than its header needs), so nothing needs scrolling.
void FitColumnsToView(QTreeView* list, int stretchColumn);

// Widths the user set are kept with the window's settings: restores them
// when stored (columns the store does not know are fitted to their
// contents), else fits the columns on the list's first show; stores them
// whenever the user changes one. The list needs its model set.
void KeepColumnWidths(QTreeView* list, const QString& section, int stretchColumn);
