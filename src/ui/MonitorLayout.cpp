#include "ui/MonitorLayout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/Text.h"

namespace {

constexpr int kButtonWidth = 150;
constexpr int kButtonHeight = 55;
constexpr int kButtonTop = 5;
constexpr int kButtonSpacing = 180;
constexpr int kTreeReserve = 260;  // below the band, what the tree leaves free
constexpr int kGridBottomGap = 10;
constexpr int kLogListGap = 2;

CellRect At(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

}  // namespace

std::array<CellRect, kCellCount> LayoutCells(int width, int height, int infoBarHeight) {
    const int x0 = kVideoLeft;
    const int y0 = kTopBand;
    const int gridWidth = width - x0;
    const int gridHeight = height - kTopBand - kGridBottomGap - infoBarHeight;
    const int xm = x0 + gridWidth / 2;
    const int ym = y0 + gridHeight / 2;
    return {{{x0, y0, xm, ym},
             {xm, y0, width, ym},
             {x0, ym, xm, y0 + gridHeight},
             {xm, ym, width, y0 + gridHeight}}};
}

MonitorPlacement Relayout(int width, int height, int infoBarHeight) {
    MonitorPlacement p;
    p.TreeHeight = std::max(height - kTopBand - kTreeReserve, kTreeMinHeight);
    for (int i = 0; i < 3; ++i) {
        p.Buttons[i] =
            At(kMargin + 5 + i * kButtonSpacing, kButtonTop, kButtonWidth, kButtonHeight);
    }
    p.TimeLabelShown = width >= kTimeLabelMinWidth;
    p.TimeLabel = At(width - 250, 25, 210, 25);
    p.Tree = At(kMargin, kTopBand, kTreeWidth, p.TreeHeight);
    p.VideoWidth = width - 2 * kMargin - 4 - kTreeWidth;
    p.VideoHeight = height - kTopBand - infoBarHeight;
    p.LogList =
        At(kVideoLeft, kTopBand + p.VideoHeight + kLogListGap, p.VideoWidth, infoBarHeight - 20);
    p.Enlarged = At(kVideoLeft, kTopBand, p.VideoWidth, p.VideoHeight);
    return p;
}

CellRect EnlargedByDoubleClick(int width, int videoHeight) {
    return At(kVideoLeft, kTopBand, width - kVideoLeft, videoHeight);
}

std::string RunningTimeText(long long seconds) {
    const long long days = seconds / 86400;
    const long long hours = seconds % 86400 / 3600;
    const long long minutes = seconds % 3600 / 60;
    char text[260];
    std::snprintf(text, sizeof text, "运行时间 %lld 天%lld 小时 %lld 分钟 %lld 秒", days, hours,
                  minutes, seconds % 60);
    return text;
}

bool LogPanelEmptiesAfterAdding(int rowsBefore) {
    return rowsBefore > kLogRowLimit;
}

std::string CameraCapLogText(const char* text) {
    std::string joined = std::string("[CameraCap] ") + (text != nullptr ? text : "");
    joined.resize(Utf8PrefixLength(joined.data(), joined.size(), kCameraCapTextBytes - 1));
    return joined;
}
