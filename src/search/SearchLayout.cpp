#include "search/SearchLayout.h"

#include <QtGlobal>

namespace {
int px(int twips) {
    return (twips + SearchLayoutRules::TwipsPerPixel / 2) / SearchLayoutRules::TwipsPerPixel;
}
} // namespace

SearchLayout ComputeSearchLayout(int width, int height, int webTop, int splitterTop,
                                 int splitterHeight, int listLeast, int listWanted) {
    using namespace SearchLayoutRules;
    SearchLayout l;
    l.splitterTop = splitterTop;
    const int below = splitterHeight + px(ListBottomRoomTwips);
    const int lowest = height - qMax(px(SplitterBottomRoomTwips), listLeast + below);
    if (l.splitterTop > lowest || l.splitterTop < webTop) {
        l.splitterTop = height * 4 / 5;
        // Four fifths leaves the list a few rows only on a low window: the
        // split goes up as far as the browser can spare, to half the height.
        if (listWanted > 0)
            l.splitterTop = qMin(l.splitterTop, qMax(height / 2, height - listWanted - below));
        l.splitterTop = qMax(l.splitterTop, webTop);
    }
    const int left = px(SplitterLeftTwips);
    const int w = qMax(0, width - px(SideRoomTwips));
    l.bar = QRect(left, l.splitterTop, w, splitterHeight);
    l.web = QRect(left, webTop, w, qMax(0, l.splitterTop - webTop));
    const int listTop = l.splitterTop + splitterHeight;
    l.list = QRect(left, listTop, w, qMax(0, height - listTop - px(ListBottomRoomTwips)));
    return l;
}
