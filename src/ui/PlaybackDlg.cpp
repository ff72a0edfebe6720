#include "ui/PlaybackDlg.h"

#include <QButtonGroup>
#include <QCalendarWidget>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/FileSystem.h"
#include "playback/LocalClock.h"
#include "playback/SpanExport.h"
#include "ui/MotionEventSteps.h"
#include "ui/OperatorPrompts.h"
#include "ui/PlaybackVideo.h"
#include "ui/TimelineBar.h"

namespace {

constexpr int kRates[] = {1, 2, 4, 8};
// While today is shown, its timeline grows with the recording this often.
constexpr int kRefreshMs = 2000;
// How many months back the opening looks for the newest day with recordings.
constexpr int kMonthsBack = 13;
constexpr int kSideWidthPx = 260;    // the cameras and the calendar
constexpr int kNarrowButtonPx = 48;  // rates, zoom, start and end

int64_t StartOfDay(const QDate& day) {
    return day.startOfDay().toMSecsSinceEpoch();
}

QString FileStamp(int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

}  // namespace

// Hands the times of the pictures shown to the window: the player's thread keeps the
// newest and posts at most one call at a time, so a player at 8x cannot flood the
// window's queue.
class CPlaybackDlg::CShownTimes : public IPlayerListener {
public:
    CShownTimes(CUiLink& link, CPlaybackDlg& window) : link_(link), window_(window) {}

    void OnPicture(int64_t timeMs) override {
        latestMs_.store(timeMs);
        if (posted_.exchange(true)) return;
        link_.Post([this] {
            posted_.store(false);
            window_.OnPictureShown(latestMs_.load());
        });
    }

private:
    CUiLink& link_;
    CPlaybackDlg& window_;
    std::atomic<int64_t> latestMs_{-1};  // written by the player's thread
    std::atomic<bool> posted_{false};    // a call is on its way to the UI thread
};

CPlaybackDlg::CPlaybackDlg(const ICatalogReader& catalog, QWidget* parent)
    : QWidget(parent, Qt::Window),
      catalog_(catalog),
      prompts_(&OperatorPrompts()),
      snapshotFolder_(QString::fromStdString(UserPicturesDir())) {
    setWindowTitle(QString::fromUtf8(kTitle));
    CreateChildren();
    shownTimes_ = std::make_unique<CShownTimes>(uiLink_, *this);
    player_ = std::make_unique<CPlayer>(catalog_, video_->Target(), shownTimes_.get());
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, [this] {
        if (day_ == QDate::currentDate()) LoadDayRecordings();
    });
    refresh->start(kRefreshMs);
    LoadCameras();
    if (cameras_->count() > 0) ChooseCamera(cameras_->item(0)->text());
}

CPlaybackDlg::~CPlaybackDlg() {
    exportCancel_.store(true);
    if (exportThread_.joinable()) exportThread_.join();
    player_.reset();
    uiLink_.Cut();
}

void CPlaybackDlg::SetPrompts(IOperatorPrompts* prompts) {
    prompts_ = prompts;
}

void CPlaybackDlg::CreateChildren() {
    cameras_ = new QListWidget(this);
    calendar_ = new QCalendarWidget(this);
    calendar_->setMaximumDate(QDate::currentDate());
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar_->setFixedWidth(std::max(kSideWidthPx, calendar_->sizeHint().width()));
    cameras_->setFixedWidth(calendar_->width());
    video_ = new CPlaybackVideo(this);
    timeLabel_ = new QLabel(this);
    QFont timeFont = timeLabel_->font();
    timeFont.setPointSize(timeFont.pointSize() + 4);
    timeFont.setBold(true);
    timeLabel_->setFont(timeFont);
    timeline_ = new CTimelineBar(this);
    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* hint = new QLabel(
        QString::fromUtf8("单击或拖动时间轴定位, Shift+拖动选择导出时段, 滚轮缩放"), this);
    hint->setEnabled(false);  // drawn greyed: a hint, not a state

    auto button = [this](const char* text, int widthPx = 0) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setAutoDefault(false);
        if (widthPx > 0) b->setFixedWidth(widthPx);
        return b;
    };
    playButton_ = button("播放");
    stepButton_ = button("单帧");
    backButton_ = button("后退10秒");
    onButton_ = button("前进10秒");
    previousEventButton_ = button("上一个事件");
    nextEventButton_ = button("下一个事件");
    previousEventButton_->setEnabled(false);
    nextEventButton_->setEnabled(false);
    markFromButton_ = button("起点", kNarrowButtonPx);
    markToButton_ = button("终点", kNarrowButtonPx);
    snapshotButton_ = button("抓图");
    exportButton_ = button("导出");
    QPushButton* zoomIn = button("放大", kNarrowButtonPx);
    QPushButton* zoomOut = button("缩小", kNarrowButtonPx);
    QPushButton* wholeDay = button("全天", kNarrowButtonPx);
    rates_ = new QButtonGroup(this);
    auto* controls = new QHBoxLayout;
    controls->addWidget(playButton_);
    for (int rate : kRates) {
        QPushButton* b = button("", kNarrowButtonPx);
        b->setText(QStringLiteral("%1x").arg(rate));
        b->setCheckable(true);
        b->setChecked(rate == 1);
        rates_->addButton(b, rate);
        controls->addWidget(b);
    }
    for (QPushButton* b : {stepButton_, backButton_, onButton_, snapshotButton_})
        controls->addWidget(b);
    controls->addStretch();
    for (QPushButton* b : {markFromButton_, markToButton_, exportButton_}) controls->addWidget(b);
    // The time of the picture above the timeline, the steps between the events marked on
    // it and its zoom beside it (the row below has no room left for them).
    auto* above = new QHBoxLayout;
    above->addWidget(timeLabel_);
    above->addSpacing(12);
    above->addWidget(hint, 1);
    for (QPushButton* b : {previousEventButton_, nextEventButton_}) above->addWidget(b);
    above->addSpacing(12);
    for (QPushButton* b : {zoomIn, zoomOut, wholeDay}) above->addWidget(b);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QString::fromUtf8("摄像头"), this));
    left->addWidget(cameras_, 1);
    left->addWidget(calendar_);
    auto* right = new QVBoxLayout;
    right->addWidget(video_, 1);
    right->addLayout(above);
    right->addWidget(timeline_);
    right->addLayout(controls);
    right->addWidget(status_);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(right, 1);
    resize(1200, 760);
    connect(wholeDay, &QPushButton::clicked, timeline_, &CTimelineBar::ShowWholeDay);

    connect(cameras_, &QListWidget::currentTextChanged, this, [this](const QString& camera) {
        if (!camera.isEmpty() && camera != camera_) ChooseCamera(camera);
    });
    connect(calendar_, &QCalendarWidget::currentPageChanged, this, [this] { MarkDays(); });
    connect(calendar_, &QCalendarWidget::selectionChanged, this, [this] {
        if (calendar_->selectedDate() != day_) ChooseDay(calendar_->selectedDate());
    });
    connect(timeline_, &CTimelineBar::SeekRequested, this,
            [this](qint64 ms) { player_->Seek(ms); });
    connect(playButton_, &QPushButton::clicked, this, &CPlaybackDlg::TogglePlay);
    connect(rates_, &QButtonGroup::idClicked, this, &CPlaybackDlg::SetRate);
    connect(stepButton_, &QPushButton::clicked, this, [this] {
        if (player_->Playing()) TogglePlay();
        player_->Step();
    });
    connect(backButton_, &QPushButton::clicked, this, [this] { Jump(-kJumpMs); });
    connect(onButton_, &QPushButton::clicked, this, [this] { Jump(kJumpMs); });
    connect(previousEventButton_, &QPushButton::clicked, this, [this] { StepEvent(false); });
    connect(nextEventButton_, &QPushButton::clicked, this, [this] { StepEvent(true); });
    connect(markFromButton_, &QPushButton::clicked, this, [this] { MarkSpan(true); });
    connect(markToButton_, &QPushButton::clicked, this, [this] { MarkSpan(false); });
    connect(timeline_, &CTimelineBar::SelectionChanged, this, &CPlaybackDlg::ShowSelection);
    connect(snapshotButton_, &QPushButton::clicked, this, &CPlaybackDlg::Snapshot);
    connect(exportButton_, &QPushButton::clicked, this, &CPlaybackDlg::Export);
    connect(zoomIn, &QPushButton::clicked, timeline_, &CTimelineBar::ZoomIn);
    connect(zoomOut, &QPushButton::clicked, timeline_, &CTimelineBar::ZoomOut);
}

QPushButton* CPlaybackDlg::RateButton(int rate) const {
    return qobject_cast<QPushButton*>(rates_->button(rate));
}

void CPlaybackDlg::LoadCameras() {
    cameras_->clear();
    for (const std::string& camera : catalog_.Cameras()) {
        cameras_->addItem(QString::fromStdString(camera));
    }
}

bool CPlaybackDlg::ChooseCamera(const QString& camera) {
    const std::vector<std::string> known = catalog_.Cameras();
    if (std::find(known.begin(), known.end(), camera.toStdString()) == known.end()) return false;
    if (cameras_->findItems(camera, Qt::MatchExactly).isEmpty()) LoadCameras();
    camera_ = camera;
    const QList<QListWidgetItem*> items = cameras_->findItems(camera, Qt::MatchExactly);
    if (!items.isEmpty()) cameras_->setCurrentItem(items.front());
    // The newest day with recordings, up to a year back.
    QDate newest;
    for (QDate month = QDate::currentDate(); !newest.isValid() && month.isValid() &&
                                             month > QDate::currentDate().addMonths(-kMonthsBack);
         month = month.addMonths(-1)) {
        const std::vector<int> days =
            catalog_.DaysWithRecordings(camera_.toStdString(), month.year(), month.month());
        if (!days.empty()) newest = QDate(month.year(), month.month(), days.back());
    }
    day_ = newest.isValid() ? newest : QDate::currentDate();
    calendar_->setSelectedDate(day_);
    MarkDays();
    LoadDayRecordings();
    timeline_->FitRecordings();  // also on the same day: this camera's recordings
    // The last minute of the newest recording of that day.
    const std::vector<CatalogFile> files =
        catalog_.Files(camera_.toStdString(), StartOfDay(day_), StartOfDay(day_.addDays(1)));
    const int64_t openAt =
        files.empty() ? StartOfDay(day_)
                      : std::max(files.back().StartMs, files.back().EndMs - kOpeningLeadMs);
    player_->Open(camera_.toStdString(), openAt);
    return true;
}

void CPlaybackDlg::ChooseDay(const QDate& day) {
    if (!day.isValid() || camera_.isEmpty()) return;
    day_ = day;
    if (calendar_->selectedDate() != day) calendar_->setSelectedDate(day);
    LoadDayRecordings();
    const std::vector<CatalogFile> files =
        catalog_.Files(camera_.toStdString(), StartOfDay(day_), StartOfDay(day_.addDays(1)));
    player_->Seek(files.empty() ? StartOfDay(day_)
                                : std::max(files.front().StartMs, StartOfDay(day_)));
}

void CPlaybackDlg::MarkDays() {
    calendar_->setDateTextFormat(QDate(), QTextCharFormat());  // clears every mark
    if (camera_.isEmpty()) return;
    QTextCharFormat marked;
    marked.setFontWeight(QFont::Bold);
    marked.setBackground(QColor(190, 230, 190));
    const int year = calendar_->yearShown();
    const int month = calendar_->monthShown();
    for (int day : catalog_.DaysWithRecordings(camera_.toStdString(), year, month)) {
        calendar_->setDateTextFormat(QDate(year, month, day), marked);
    }
}

void CPlaybackDlg::LoadDayRecordings() {
    const int64_t from = StartOfDay(day_);
    const int64_t to = StartOfDay(day_.addDays(1));
    const bool newDay =
        timeline_->Scale().DayStartMs() != from || timeline_->Scale().DayEndMs() != to;
    if (newDay) timeline_->SetDay(from, to);
    std::vector<CTimelineBar::Span> spans;
    const std::string camera = camera_.toStdString();
    for (const CatalogFile& file : catalog_.Files(camera, from, to)) {
        // Files follow each other closely: one span while they do.
        if (!spans.empty() && file.StartMs - spans.back().ToMs < CPlayer::kSkippedHoleMs) {
            spans.back().ToMs = std::max(spans.back().ToMs, file.EndMs);
        } else {
            spans.push_back({file.StartMs, file.EndMs});
        }
    }
    timeline_->SetRecordings(std::move(spans), catalog_.Gaps(camera, from, to));
    timeline_->SetMotionEvents(catalog_.MotionEvents(camera, from, to));
    if (newDay) timeline_->FitRecordings();
    EnableEventButtons();
}

void CPlaybackDlg::OnPictureShown(int64_t ms) {
    shownMs_ = ms;
    timeLabel_->setText(QString::fromStdString(LocalClock::Text(ms)));
    const QDate day = QDateTime::fromMSecsSinceEpoch(ms).date();
    if (day != day_) {
        // Played on past midnight: the next day's timeline.
        day_ = day;
        calendar_->setSelectedDate(day);
        LoadDayRecordings();
    }
    timeline_->SetPosition(ms);
    EnableEventButtons();
}

void CPlaybackDlg::TogglePlay() {
    if (player_->Playing()) {
        player_->Pause();
        playButton_->setText(QString::fromUtf8("播放"));
    } else {
        player_->Play();
        playButton_->setText(QString::fromUtf8("暂停"));
    }
}

void CPlaybackDlg::SetRate(int rate) {
    player_->SetRate(rate);
    if (QAbstractButton* b = rates_->button(rate)) b->setChecked(true);
}

void CPlaybackDlg::Jump(int64_t deltaMs) {
    if (shownMs_ >= 0) player_->Seek(shownMs_ + deltaMs);
}

void CPlaybackDlg::StepEvent(bool forward) {
    if (shownMs_ < 0) return;
    const std::vector<CatalogMotionEvent>& events = timeline_->MotionEvents();
    const std::optional<int64_t> to = forward ? MotionEventSteps::Next(events, shownMs_)
                                              : MotionEventSteps::Previous(events, shownMs_);
    if (to) player_->Seek(*to);
}

void CPlaybackDlg::EnableEventButtons() {
    const std::vector<CatalogMotionEvent>& events = timeline_->MotionEvents();
    const bool shown = shownMs_ >= 0;
    previousEventButton_->setEnabled(shown &&
                                     MotionEventSteps::Previous(events, shownMs_).has_value());
    nextEventButton_->setEnabled(shown && MotionEventSteps::Next(events, shownMs_).has_value());
}

void CPlaybackDlg::MarkSpan(bool start) {
    if (shownMs_ < 0) return;
    // An end before the start moves the start with it, and the other way round.
    const CTimelineBar::Span old = timeline_->Selection();
    const bool hasStart = old.FromMs > 0;
    CTimelineBar::Span span{shownMs_, shownMs_};
    if (start && old.ToMs > shownMs_) span.ToMs = old.ToMs;
    if (!start && hasStart && old.FromMs < shownMs_) span.FromMs = old.FromMs;
    timeline_->Select(span);
}

void CPlaybackDlg::ShowSelection() {
    const CTimelineBar::Span span = timeline_->Selection();
    if (!timeline_->HasSelection()) {
        ShowStatus(QString::fromUtf8("导出起点 %1")
                       .arg(QString::fromStdString(LocalClock::Text(span.FromMs))));
        return;
    }
    ShowStatus(QString::fromUtf8("导出时段 %1 至 %2 (%3 秒)")
                   .arg(QString::fromStdString(LocalClock::Text(span.FromMs)),
                        QString::fromStdString(LocalClock::Text(span.ToMs)))
                   .arg((span.ToMs - span.FromMs + 500) / 1000));
}

void CPlaybackDlg::Snapshot() {
    if (camera_.isEmpty() || shownMs_ < 0) return;
    const QString path =
        QDir(snapshotFolder_)
            .filePath(QStringLiteral("%1_%2.jpg").arg(camera_, FileStamp(shownMs_)));
    const int result = player_->Snapshot(path.toStdString());
    ShowStatus(result == 0 ? QString::fromUtf8("已抓图 %1").arg(path)
                           : QString::fromUtf8("抓图失败 %1").arg(path));
}

void CPlaybackDlg::Export() {
    if (Exporting() || camera_.isEmpty()) return;
    if (!timeline_->HasSelection()) {
        prompts_->ShowMessage(this, QString::fromUtf8(kTitle),
                              QString::fromUtf8("请先选择要导出的时段: 在时间轴上按住 Shift 拖动, "
                                                "或用\"起点\"和\"终点\"按钮标记当前画面"));
        return;
    }
    const CTimelineBar::Span span = timeline_->Selection();
    const QString proposed =
        QDir(QString::fromStdString(UserVideosDir()))
            .filePath(QStringLiteral("%1_%2.mp4").arg(camera_, FileStamp(span.FromMs)));
    const QString path = prompts_->ChooseSaveFile(this, QString::fromUtf8("导出录像"), proposed,
                                                  QStringLiteral("MP4 (*.mp4)"));
    if (path.isEmpty()) return;
    if (exportThread_.joinable()) exportThread_.join();  // the last one, already ended
    exportCancel_.store(false);
    exportDone_ = false;
    exportButton_->setEnabled(false);
    ShowStatus(QString::fromUtf8("正在导出 %1 ...").arg(path));
    const SpanExportRequest request{camera_.toStdString(), span.FromMs, span.ToMs,
                                    path.toStdString()};
    exportThread_ = std::thread([this, request] {
        const SpanExportResult result = SpanExport::Export(catalog_, request, &exportCancel_);
        const bool written = result.Status == SpanExportStatus::Written;
        const QString text =
            written ? QString::fromUtf8("已导出 %1 (%2 至 %3), SHA-256 %4")
                          .arg(QString::fromStdString(request.Path),
                               QString::fromStdString(LocalClock::Text(result.FirstMs)),
                               QString::fromStdString(LocalClock::Text(result.EndMs)),
                               QString::fromStdString(result.Sha256))
                    : QString::fromUtf8("导出失败: %1").arg(QString::fromStdString(result.Reason));
        uiLink_.Post([this, written, text] { OnExportEnded(written, text); });
    });
}

void CPlaybackDlg::OnExportEnded(bool written, const QString& text) {
    exportDone_ = true;
    exportButton_->setEnabled(true);
    ShowStatus(text);
    if (!written) prompts_->ShowMessage(this, QString::fromUtf8(kTitle), text);
    emit ExportFinished(written);
}

void CPlaybackDlg::ShowStatus(const QString& text) {
    status_->setText(text);
}
