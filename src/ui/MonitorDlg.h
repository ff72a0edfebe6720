// The program's main window, run modally for the life of the process: a band of
// buttons with the running time, the camera tree on the left, the two-by-two grid of
// video cells and the log panel below it. It receives every log line, places its
// children in pixels (MonitorLayout.h), tracks the selected cell, enlarges a cell on a
// double-click, counts the running time, and owns the cells and the camera list
// loader.
//
// Threads: the UI thread. Other threads reach it only by posting: the private
// messages through WindowHandle(), and the loader's requests through ILoaderHost,
// whose calls post through a CUiLink and never wait for this thread.
#pragma once

#include <QDialog>
#include <QPointer>
#include <array>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "capture/WorkerThread.h"
#include "common/DeviceInfo.h"
#include "config/MotionSettingsFile.h"
#include "ui/CameraListLoader.h"
#include "ui/MonitorLayout.h"
#include "ui/QtWindowHandle.h"
#include "ui/UiThread.h"

class CColorLabel;
class CMonitorApp;
class IMotionObserver;
class CRestreamService;
class CPlaybackDlg;
class ICatalogReader;
class IRecordingObserver;
class CStyledButton;
class CVideoCell;
class QMenu;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

class CMonitorDlg : public QDialog, public ILoaderHost {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "USB 摄像头监控";
    static constexpr const char* kTreeRootText = "USB摄像头监控系统";
    static constexpr const char* kLinkAddress = "https://example.org/orvexclient/";

    // app: the settings and paths the window and its cameras work with; recordings:
    // what the cameras' recorders tell of their files (may be null); catalog: where the
    // playback window finds recordings (may be null). Both outlive the window.
    explicit CMonitorDlg(CMonitorApp& app, IRecordingObserver* recordings = nullptr,
                         const ICatalogReader* catalog = nullptr, QWidget* parent = nullptr);
    ~CMonitorDlg() override;

    HWND WindowHandle() { return &handle_; }
    // Where the cameras' motion events go (may be null; outlives the window). Before Start.
    void SetMotionEvents(IMotionObserver* events) { motionEvents_ = events; }
    // Where the cameras are offered over the network (may be null; outlives the window
    // and every opening). Before Start.
    void SetRestream(CRestreamService* restream) { restream_ = restream; }

    // Shows the window maximized, lays it out and starts the timer and the loader.
    void Start();
    // Stops the loader, closes every cell's camera and lets AppLog go: after it, no
    // thread reaches this window. Openings still ending on their own threads are
    // joined by COpeningThreads. Idempotent; the window's end runs it.
    void Shutdown();

    void ToggleInfoBar();
    int SelectedCell() const { return selectedCell_; }
    bool InfoBarShown() const { return infoBarShown_; }
    CVideoCell* Cell(int index) const { return cells_[index]; }
    const std::array<CellRect, kCellCount>& CellRects() const { return cellRects_; }
    QTreeWidget* Tree() const { return tree_; }
    QTableWidget* LogList() const { return logList_; }
    CColorLabel* TimeLabel() const { return timeLabel_; }
    CStyledButton* SettingsButton() const { return settingsButton_; }
    CStyledButton* InfoBarButton() const { return infoBarButton_; }
    // The record of a camera item of the tree, null for the root.
    const DeviceInfo* ItemRecord(const QTreeWidgetItem* item) const;

    // Shows the playback window (one at most), with camera chosen when given and
    // recorded; nothing without a catalog.
    void OpenPlayback(const QString& camera = QString());
    CPlaybackDlg* Playback() const;
    // Shows the motion settings of the camera of record (modal to this window, without
    // waiting for it); saved settings apply at once to the cell that shows the camera.
    void OpenMotionSettings(const DeviceInfo& record);
    const MotionSettingsTable& Motion() const { return motion_; }
    // Shows the network stream settings with each camera's address (modal to this
    // window, without waiting for it); saved settings restart the server at once.
    void OpenRestreamSettings();
    // The 1-based place of the camera in the list, 0 when it is not in it.
    int PlaceOf(const DeviceInfo& record) const;

    // The right-click menus: the window's, and that of a camera item of the tree.
    QMenu* NewWindowMenu();
    QMenu* NewTreeMenu(QTreeWidgetItem* item);

    // ILoaderHost: each call posts to this window's thread.
    void PostSettingsEnabled(bool enabled) override;
    HWND ListWindow() override { return &handle_; }
    std::string CameraListPath() override;
    AppSettings Settings() override;
    void PostOpenFirstCameras() override;
    void PostToggleInfoBar() override;
    bool WaitOrStop(int ms) override;
    void PauseLoader() override { loader_.Pause(); }

public slots:
    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateChildren();
    void LayoutCells();
    void Relayout();
    void Tick();
    void OnLogText(const char* text, LPARAM source);
    void AddLogRow(const QString& text);
    void OnCellNotify(int index, int action);
    void OnCameraList(const DeviceInfo* records, int count);
    void OnTreeDoubleClick(QTreeWidgetItem* item);
    void OpenFirstCameras();
    void SnapshotCommand();
    void ShowAbout();
    void ShowTreeMenu(const QPoint& at);

    CMonitorApp& app_;
    IRecordingObserver* const recordings_;  // called on the recorders' threads
    const ICatalogReader* const catalog_;   // any thread
    CQtWindowHandle handle_;
    int infoBarHeight_ = kInfoBarShownHeight;
    bool infoBarShown_ = true;
    long long runningSeconds_ = 0;
    int selectedCell_ = 0;
    int videoHeight_ = 0;  // of the last Relayout
    std::array<CellRect, kCellCount> cellRects_{};

    CStyledButton* settingsButton_ = nullptr;  // children, owned by Qt
    CStyledButton* infoBarButton_ = nullptr;
    CStyledButton* linkButton_ = nullptr;
    CColorLabel* timeLabel_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QTableWidget* logList_ = nullptr;
    std::array<CVideoCell*, kCellCount> cells_{};
    std::vector<DeviceInfo> records_;  // the tree's camera items, by position under the root
    IMotionObserver* motionEvents_ = nullptr;  // called on the motion watches' threads
    CRestreamService* restream_ = nullptr;     // its taps are used on the capture threads
    MotionSettingsTable motion_;               // UI thread; loaded at Start
    QPointer<CPlaybackDlg> playback_;          // a child window; gone when the operator closed it

    CUiLink uiLink_{this};  // the loader's requests
    CWorkerThread loader_;
    std::mutex stopLock_;  // guards stopping_ for the loader's waits
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    bool shutDown_ = false;
};
