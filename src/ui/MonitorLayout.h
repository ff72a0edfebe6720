// The main window's arithmetic, kept apart from its widgets so that it is tested
// directly: where every child goes for a client size, the running-time text, the log
// panel's row rule and the text a capture-library notice is shown as.
// Pure functions: any thread.
#pragma once

#include <array>
#include <string>

struct CellRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const CellRect&) const = default;
};

constexpr int kMargin = 10;
constexpr int kTopBand = 70;  // the band that holds the buttons
constexpr int kTreeWidth = 320;
constexpr int kTreeMinHeight = 200;
constexpr int kInfoBarShownHeight = 200;
constexpr int kInfoBarHiddenHeight = 20;
constexpr int kCellCount = 4;
constexpr int kVideoLeft = kMargin + kTreeWidth;  // 330: where the grid starts
constexpr int kTimeLabelMinWidth = 740;           // a narrower client hides the running time
constexpr int kLogRowLimit = 100;                 // a row added past this empties the panel
constexpr size_t kCameraCapTextBytes = 520;       // the buffer a capture-library text is shown in

// The grid places of cells 0 to 3 (left, top, right, bottom) for a client of width
// by height with the log panel infoBarHeight high.
std::array<CellRect, kCellCount> LayoutCells(int width, int height, int infoBarHeight);

// Where Relayout puts each child for a client of width by height.
struct MonitorPlacement {
    int TreeHeight = 0;
    std::array<CellRect, 3> Buttons;  // settings, info bar, link
    bool TimeLabelShown = false;
    CellRect TimeLabel;
    CellRect Tree;
    int VideoWidth = 0;
    int VideoHeight = 0;
    CellRect LogList;
    CellRect Enlarged;  // an enlarged cell after Relayout
};
MonitorPlacement Relayout(int width, int height, int infoBarHeight);

// An enlarged cell right after its double-click: W - 330 wide, where Relayout makes it
// W - 344.
CellRect EnlargedByDoubleClick(int width, int videoHeight);

// "运行时间 %d 天%d 小时 %d 分钟 %d 秒" for a number of seconds.
std::string RunningTimeText(long long seconds);

// Whether adding a row at position rowsBefore (the rows already listed) empties the
// panel right after: rows 0 to 100 stay, the one at 101 is shown and then all go.
bool LogPanelEmptiesAfterAdding(int rowsBefore);

// "[CameraCap] " and the text, cut at a character boundary to fit the 520-byte buffer
// (519 bytes and its NUL).
std::string CameraCapLogText(const char* text);
