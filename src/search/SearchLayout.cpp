#include "search/SearchLayout.h"

#include <QtGlobal>

namespace {
int px(int twips) {
    return (twips + SearchLayoutRules::TwipsPerPixel / 2) / SearchLayoutRules::TwipsPerPixel;
}
} // namespace

SearchLayout ComputeSearchLayout(int width, int height, int webTop, int splitterTop,
                                 int splitterHeight) {
    using namespace SearchLayoutRules;
    SearchLayout l;
    l.splitterTop = splitterTop;
    if (l.splitterTop > height - px(SplitterBottomRoomTwips) || l.splitterTop < webTop)
        l.splitterTop = height * 4 / 5;
    const int left = px(SplitterLeftTwips);
    const int w = qMax(0, width - px(SideRoomTwips));
    l.bar = QRect(left, l.splitterTop, w, splitterHeight);
    l.web = QRect(left, webTop, w, qMax(0, l.splitterTop - webTop));
    const int listTop = l.splitterTop + splitterHeight;
    l.list = QRect(left, listTop, w, qMax(0, height - listTop - px(ListBottomRoomTwips)));
    return l;
}
