#pragma once

#include <QRect>

// Where the search window's three stacked parts go: the browser panel, the
// splitter bar and the list panel. All figures are pixels of the window's
// central area (15 twips to a pixel).
struct SearchLayout {
    int splitterTop = 0;
    QRect web;
    QRect bar;
    QRect list;
};

namespace SearchLayoutRules {
inline constexpr int TwipsPerPixel = 15;
inline constexpr int MinWidthTwips = 9000;
inline constexpr int MinHeightTwips = 5000;
// The splitter may come no closer to the bottom than this.
inline constexpr int SplitterBottomRoomTwips = 1200;
inline constexpr int SplitterLeftTwips = 20;
inline constexpr int SideRoomTwips = 300;
inline constexpr int ListBottomRoomTwips = 60;
} // namespace SearchLayoutRules

// height/width: the central area; webTop: the browser panel's top (fixed);
// splitterTop/splitterHeight: the bar's current top and its height.
// A splitter dragged too low, or above the browser panel, goes back to four
// fifths of the height. listLeast and listWanted (0: no need) are the list
// panel's heights with a few rows of the list in view and with a good number:
// a splitter that would leave less than listLeast counts as too low, and
// the split it goes back to leaves listWanted where the height allows.
SearchLayout ComputeSearchLayout(int width, int height, int webTop, int splitterTop,
                                 int splitterHeight, int listLeast = 0, int listWanted = 0);
