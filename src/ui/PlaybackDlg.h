// The playback window "录像回放", a window of its own beside the main window: the
// cameras that have recordings, a calendar whose days with recordings are marked, the
// chosen day's timeline (CTimelineBar) with its motion events, the video with the
// wall-clock time of the picture shown, and the controls: play and pause, 1x 2x 4x 8x,
// one picture forward, 10 s back and forth, to the previous or next motion event, a
// snapshot (JPEG) and the export of the span selected on the timeline (Shift and a
// drag, or the start and end buttons at the picture shown) to MP4 with its SHA-256.
//
// Recordings are found through the catalog's read interface and played by a CPlayer on
// threads of its own; an export runs on a worker thread. Neither disturbs recording.
//
// Threads: the UI thread. The player's pictures reach it as a live view's do
// (CPlaybackVideo), the times of the pictures and the end of an export through a
// CUiLink. Closing the window stops the player and cancels an export under way.
#pragma once

#include <QDate>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "catalog/CatalogReader.h"
#include "playback/Player.h"
#include "ui/UiThread.h"

class CPlaybackVideo;
class CTimelineBar;
class IOperatorPrompts;
class QButtonGroup;
class QCalendarWidget;
class QLabel;
class QListWidget;
class QPushButton;

class CPlaybackDlg : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "录像回放";
    static constexpr int kJumpMs = 10000;  // the "10 s back" and "10 s on" buttons
    // Opening shows this long before the end of the newest recording.
    static constexpr int64_t kOpeningLeadMs = 60000;

    // catalog: outlives the window. parent: the main window, or none (--playback).
    explicit CPlaybackDlg(const ICatalogReader& catalog, QWidget* parent = nullptr);
    ~CPlaybackDlg() override;

    void SetPrompts(IOperatorPrompts* prompts);
    // Where snapshots go (the user's pictures folder unless set).
    void SetSnapshotFolder(const QString& folder) { snapshotFolder_ = folder; }

    // Chooses a camera by its name in the catalog and shows its newest recording; false
    // when the catalog has none of that name.
    bool ChooseCamera(const QString& camera);
    // Shows a day of the camera chosen, from its first recording.
    void ChooseDay(const QDate& day);

    QString Camera() const { return camera_; }
    QDate Day() const { return day_; }
    // The wall-clock time of the picture shown, -1 before the first.
    int64_t ShownMs() const { return shownMs_; }
    CPlayer& Player() { return *player_; }
    QListWidget* CameraList() const { return cameras_; }
    QCalendarWidget* Calendar() const { return calendar_; }
    CTimelineBar* Timeline() const { return timeline_; }
    CPlaybackVideo* Video() const { return video_; }
    QLabel* TimeLabel() const { return timeLabel_; }
    QLabel* StatusLabel() const { return status_; }
    QPushButton* PlayButton() const { return playButton_; }
    QPushButton* RateButton(int rate) const;
    QPushButton* StepButton() const { return stepButton_; }
    QPushButton* BackButton() const { return backButton_; }
    QPushButton* OnButton() const { return onButton_; }
    QPushButton* PreviousEventButton() const { return previousEventButton_; }
    QPushButton* NextEventButton() const { return nextEventButton_; }
    QPushButton* MarkFromButton() const { return markFromButton_; }
    QPushButton* MarkToButton() const { return markToButton_; }
    QPushButton* SnapshotButton() const { return snapshotButton_; }
    QPushButton* ExportButton() const { return exportButton_; }
    bool Exporting() const { return exportThread_.joinable() && !exportDone_; }

signals:
    // An export has ended: written, or not (the reason went to the operator).
    void ExportFinished(bool written);

private:
    class CShownTimes;

    void CreateChildren();
    void LoadCameras();
    void MarkDays();
    void LoadDayRecordings();
    void OnPictureShown(int64_t ms);
    void TogglePlay();
    void SetRate(int rate);
    void Jump(int64_t deltaMs);
    // To the start of the motion event before (after) the picture shown.
    void StepEvent(bool forward);
    // Each event button on while there is an event its way.
    void EnableEventButtons();
    // Starts (or ends) the span to export at the picture shown.
    void MarkSpan(bool start);
    void ShowSelection();
    void Snapshot();
    void Export();
    void OnExportEnded(bool written, const QString& text);
    void ShowStatus(const QString& text);

    const ICatalogReader& catalog_;
    IOperatorPrompts* prompts_;
    QString snapshotFolder_;
    QString camera_;
    QDate day_;
    int64_t shownMs_ = -1;

    QListWidget* cameras_ = nullptr;  // children, owned by Qt
    QCalendarWidget* calendar_ = nullptr;
    CTimelineBar* timeline_ = nullptr;
    CPlaybackVideo* video_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QButtonGroup* rates_ = nullptr;
    QPushButton* stepButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    QPushButton* onButton_ = nullptr;
    QPushButton* previousEventButton_ = nullptr;
    QPushButton* nextEventButton_ = nullptr;
    QPushButton* markFromButton_ = nullptr;
    QPushButton* markToButton_ = nullptr;
    QPushButton* snapshotButton_ = nullptr;
    QPushButton* exportButton_ = nullptr;

    CUiLink uiLink_{this};                     // the export's end
    std::unique_ptr<CShownTimes> shownTimes_;  // the player's listener
    std::unique_ptr<CPlayer> player_;          // goes first: it draws into video_
    std::thread exportThread_;                 // UI thread starts and joins it
    std::atomic<bool> exportCancel_{false};
    bool exportDone_ = true;  // UI thread
};
