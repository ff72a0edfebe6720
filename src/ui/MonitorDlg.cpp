#include "ui/MonitorDlg.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstring>

#include "app/MonitorApp.h"
#include "common/Messages.h"
#include "platform/FileSystem.h"
#include "resources/IconResources.h"
#include "restream/RestreamService.h"
#include "ui/AboutDlg.h"
#include "ui/DialogUnits.h"
#include "ui/MotionSettingsDlg.h"
#include "ui/PlaybackDlg.h"
#include "ui/RestreamSettingsDlg.h"
#include "ui/SystemSettingsDlg.h"
#include "ui/UiThread.h"
#include "ui/VideoCell.h"
#include "widgets/ColorLabel.h"
#include "widgets/StyledButton.h"

namespace {

constexpr int kTimerMs = 1000;
constexpr int kFontPoints = 9;
constexpr int kLogTimeColumnWidth = 140;
constexpr int kLogTextColumnWidth = 700;
constexpr int kSettingsIcon = 131;
constexpr int kInfoBarIcon = 140;
constexpr int kLinkIcon = 138;
constexpr int kWindowIcon = 128;
constexpr const char* kHideInfoBar = "隐藏信息栏";
constexpr const char* kShowInfoBar = "显示信息栏";

QRect ToQRect(const CellRect& r) {
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

QString FieldText(const char (&field)[256]) {
    return QString::fromUtf8(field, static_cast<int>(strnlen(field, sizeof field)));
}

}  // namespace

CMonitorDlg::CMonitorDlg(CMonitorApp& app, IRecordingObserver* recordings,
                         const ICatalogReader* catalog, QWidget* parent)
    : QDialog(parent), app_(app), recordings_(recordings), catalog_(catalog), handle_(this) {
    setWindowTitle(QString::fromUtf8(kTitle));
    setFont(SongDialogFont(kFontPoints));
    RegisterIconResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/%1.png").arg(kWindowIcon)));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    CreateChildren();
    app_.SetMainWindow(&handle_);
}

CMonitorDlg::~CMonitorDlg() {
    Shutdown();
    handle_.MarkDead();
}

void CMonitorDlg::CreateChildren() {
    settingsButton_ = new CStyledButton(QString::fromUtf8("系统设置"), this);
    infoBarButton_ = new CStyledButton(QString::fromUtf8("运行信息"), this);
    linkButton_ = new CStyledButton(QString::fromUtf8("访问我的博客"), this);
    for (CStyledButton* button : {settingsButton_, infoBarButton_, linkButton_}) {
        button->setAutoDefault(false);
    }
    connect(infoBarButton_, &QPushButton::clicked, this, &CMonitorDlg::ToggleInfoBar);
    // A new settings dialog for every click, modal to this window without a nested
    // event loop; it deletes itself when closed.
    connect(settingsButton_, &QPushButton::clicked, this, [this] {
        auto* settings = new CSystemSettingsDlg(app_, records_, this);
        settings->setAttribute(Qt::WA_DeleteOnClose);
        settings->open();
    });

    auto* snapshotButton = new QPushButton(QString::fromUtf8("抓图"), this);
    snapshotButton->setAutoDefault(false);
    snapshotButton->hide();  // created hidden; nothing shows it
    connect(snapshotButton, &QPushButton::clicked, this, &CMonitorDlg::SnapshotCommand);

    timeLabel_ = new CColorLabel(this);

    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(tree_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OnTreeDoubleClick(item); });
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QWidget::customContextMenuRequested, this, &CMonitorDlg::ShowTreeMenu);

    logList_ = new QTableWidget(0, 2, this);
    logList_->setHorizontalHeaderLabels({QString::fromUtf8("时间"), QString::fromUtf8("日志内容")});
    logList_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    logList_->setColumnWidth(0, kLogTimeColumnWidth);
    logList_->setColumnWidth(1, kLogTextColumnWidth);
    logList_->verticalHeader()->hide();
    logList_->verticalHeader()->setDefaultSectionSize(logList_->fontMetrics().height() + 4);
    logList_->setShowGrid(true);
    logList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    logList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logList_->setWordWrap(false);
}

void CMonitorDlg::Start() {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMonitorDlg::Tick);
    timer->start(kTimerMs);
    // Without a window manager (a bare X server) nothing maximizes the window: start it
    // at the screen's size, which a window manager then maximizes properly.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(screen->availableGeometry());
    }
    showMaximized();
    infoBarButton_->setText(QString::fromUtf8(kHideInfoBar));
    settingsButton_->SetIconFromResource(kSettingsIcon);
    infoBarButton_->SetIconFromResource(kInfoBarIcon);
    linkButton_->SetLinkAddress(kLinkAddress);
    linkButton_->SetIconFromResource(kLinkIcon);
    LayoutCells();
    motion_ = LoadMotionSettings(MotionSettingsPath(CameraListPath()));
    for (int i = 0; i < kCellCount; ++i) {
        cells_[i] = new CVideoCell(
            i, &handle_, &handle_, [&app = app_] { return app.Settings().RecordDir; }, recordings_,
            this);
        cells_[i]->SetMotion({motionEvents_, [this](const DeviceInfo& record) {
                                  return MotionSettingsFor(motion_, record);
                              }});
        cells_[i]->SetRestream(
            {restream_, [this](const DeviceInfo& record) { return PlaceOf(record); }});
        cells_[i]->setGeometry(ToQRect(cellRects_[i]));
        cells_[i]->show();
    }
    tree_->addTopLevelItem(new QTreeWidgetItem({QString::fromUtf8(kTreeRootText)}));
    Relayout();
    loader_.SetThreadFunction(&CameraListLoader, static_cast<ILoaderHost*>(this));
    loader_.StartThread();
}

void CMonitorDlg::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // The loader first: its waits end at once, and it never waits for this thread.
    {
        std::lock_guard<std::mutex> lock(stopLock_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    loader_.StopThread();
    // Each cell closes its capture, then its recording, and ends an opening under way.
    for (CVideoCell* cell : cells_) {
        if (cell != nullptr) cell->CloseCamera();
    }
    records_.clear();
    tree_->clear();
    delete playback_;
    // From here AppLog writes the file only.
    app_.SetMainWindow(nullptr);
}

void CMonitorDlg::done(int result) {
    if (!shutDown_) {
        hide();  // gone for the operator at once, even while an opening still ends
        Shutdown();
    }
    QDialog::done(result);
}

void CMonitorDlg::LayoutCells() {
    cellRects_ = ::LayoutCells(width(), height(), infoBarHeight_);
}

void CMonitorDlg::Relayout() {
    const MonitorPlacement p = ::Relayout(width(), height(), infoBarHeight_);
    videoHeight_ = p.VideoHeight;
    CStyledButton* buttons[] = {settingsButton_, infoBarButton_, linkButton_};
    for (int i = 0; i < 3; ++i) buttons[i]->setGeometry(ToQRect(p.Buttons[i]));
    timeLabel_->setGeometry(ToQRect(p.TimeLabel));
    timeLabel_->setVisible(p.TimeLabelShown);
    tree_->setGeometry(ToQRect(p.Tree));
    logList_->setGeometry(ToQRect(p.LogList));
    for (int i = 0; i < kCellCount; ++i) {
        CVideoCell* cell = cells_[i];
        if (cell == nullptr) continue;
        cell->setGeometry(ToQRect(cell->Enlarged() ? p.Enlarged : cellRects_[i]));
        if (i == selectedCell_) cell->SetSelected(true);
        cell->repaint();
    }
}

void CMonitorDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The grid follows the maximized size (the window manager may settle it after the
    // window is shown); a restored window keeps the grid of the maximized one.
    if (windowState() & Qt::WindowMaximized) LayoutCells();
    Relayout();
}

void CMonitorDlg::ToggleInfoBar() {
    infoBarShown_ = !infoBarShown_;
    infoBarHeight_ = infoBarShown_ ? kInfoBarShownHeight : kInfoBarHiddenHeight;
    LayoutCells();
    // As a posted WM_SIZE would: the new grid is placed once this handler is over.
    QMetaObject::invokeMethod(this, &CMonitorDlg::Relayout, Qt::QueuedConnection);
    infoBarButton_->setText(QString::fromUtf8(infoBarShown_ ? kHideInfoBar : kShowInfoBar));
}

void CMonitorDlg::Tick() {
    ++runningSeconds_;
    timeLabel_->setText(QString::fromStdString(RunningTimeText(runningSeconds_)));
}

bool CMonitorDlg::event(QEvent* event) {
    CPrivateMessageEvent* message = CPrivateMessageEvent::From(event);
    if (message == nullptr) return QDialog::event(event);
    // The event frees the message's block once handled.
    switch (message->Message()) {
        case WM_LOG_TEXT:
            OnLogText(reinterpret_cast<const char*>(message->WParam()), message->LParam());
            break;
        case WM_CELL_NOTIFY:
            OnCellNotify(static_cast<int>(message->WParam()), static_cast<int>(message->LParam()));
            break;
        case WM_CAMERA_LIST:
            OnCameraList(reinterpret_cast<const DeviceInfo*>(message->WParam()),
                         static_cast<int>(message->LParam()));
            break;
        default:
            break;
    }
    return true;
}

void CMonitorDlg::OnLogText(const char* text, LPARAM source) {
    if (text == nullptr) return;
    if (source != 1) {
        AddLogRow(QString::fromUtf8(text));
        return;
    }
    // A camera lost or failing must stay on record after the panel has emptied or been
    // hidden: the capture library's texts go into the event log file too.
    const std::string shown = CameraCapLogText(text);
    app_.LogFileOnly(shown.c_str());
    AddLogRow(QString::fromStdString(shown));
}

void CMonitorDlg::AddLogRow(const QString& text) {
    const QString time =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const int row = logList_->rowCount();
    logList_->insertRow(row);
    logList_->setItem(row, 0, new QTableWidgetItem(time));
    logList_->setItem(row, 1, new QTableWidgetItem(text));
    logList_->scrollToItem(logList_->item(row, 0));
    if (LogPanelEmptiesAfterAdding(row)) logList_->setRowCount(0);
}

void CMonitorDlg::OnCellNotify(int index, int action) {
    if (index < 0 || index >= kCellCount) return;
    for (int i = 0; i < kCellCount; ++i) {
        CVideoCell* cell = cells_[i];
        if (cell == nullptr) continue;
        if (i == index) selectedCell_ = index;
        cell->SetSelected(i == index);
    }
    CVideoCell* cell = cells_[index];
    if (action != 2 || cell == nullptr) return;
    if (cell->Enlarged()) {
        cell->setGeometry(ToQRect(cellRects_[index]));
        cell->SetEnlarged(false);
    } else {
        cell->setGeometry(ToQRect(EnlargedByDoubleClick(width(), videoHeight_)));
        cell->SetEnlarged(true);
        cell->repaint();
    }
    for (int i = 0; i < kCellCount; ++i) {
        if (i != index && cells_[i] != nullptr) cells_[i]->setVisible(!cell->Enlarged());
    }
}

void CMonitorDlg::OnCameraList(const DeviceInfo* records, int count) {
    records_.clear();
    tree_->clear();
    auto* root = new QTreeWidgetItem({QString::fromUtf8(kTreeRootText)});
    tree_->addTopLevelItem(root);
    if (records == nullptr) return;
    count = std::clamp(count, 0, kCameraTableRecords);
    records_.assign(records, records + count);
    for (int i = 0; i < count; ++i) {
        auto* item = new QTreeWidgetItem({FieldText(records_[i].CustomDeviceName)});
        item->setData(0, Qt::UserRole, i);
        root->addChild(item);
        root->setExpanded(true);
    }
}

const DeviceInfo* CMonitorDlg::ItemRecord(const QTreeWidgetItem* item) const {
    if (item == nullptr || item->parent() == nullptr) return nullptr;
    bool ok = false;
    const int index = item->data(0, Qt::UserRole).toInt(&ok);
    if (!ok || index < 0 || index >= static_cast<int>(records_.size())) return nullptr;
    return &records_[index];
}

void CMonitorDlg::OnTreeDoubleClick(QTreeWidgetItem* item) {
    const DeviceInfo* record = ItemRecord(item);
    if (record == nullptr) return;
    const DeviceInfo clicked = *record;
    // A camera is shown in one cell at most, also while it is still opening somewhere.
    for (CVideoCell* cell : cells_) {
        if (cell != nullptr && cell->HoldsDevice(clicked)) cell->CloseCamera();
    }
    CVideoCell* target = cells_[selectedCell_];
    if (target == nullptr) return;
    target->SetRecord(clicked);
    target->OpenCamera(false);
}

void CMonitorDlg::OpenFirstCameras() {
    QTreeWidgetItem* root = tree_->topLevelItem(0);
    if (root == nullptr) return;
    for (int i = 0; i < kCellCount && i < root->childCount(); ++i) {
        const DeviceInfo* record = ItemRecord(root->child(i));
        if (record == nullptr || cells_[i] == nullptr) continue;
        cells_[i]->SetRecord(*record);
        cells_[i]->WindowHandle()->Post(WM_CELL_OPEN, 0, 0);
    }
}

void CMonitorDlg::SnapshotCommand() {
    if (CVideoCell* cell = cells_[selectedCell_]) {
        cell->Snapshot((UserPicturesDir() + "/cappic.jpg").c_str());
    }
}

void CMonitorDlg::keyPressEvent(QKeyEvent* event) {
    // Enter or Escape that reaches the window itself ends it, without a question.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QMenu* CMonitorDlg::NewWindowMenu() {
    auto* menu = new QMenu(this);
    menu->addAction(QString::fromUtf8(CPlaybackDlg::kTitle), this, [this] { OpenPlayback(); })
        ->setEnabled(catalog_ != nullptr);
    menu->addAction(QString::fromUtf8(CRestreamSettingsDlg::kTitle), this,
                    &CMonitorDlg::OpenRestreamSettings)
        ->setEnabled(restream_ != nullptr);
    menu->addSeparator();
    menu->addAction(QString::fromUtf8("关于 OrvexClient(&A)..."), this, &CMonitorDlg::ShowAbout);
    return menu;
}

QMenu* CMonitorDlg::NewTreeMenu(QTreeWidgetItem* item) {
    const DeviceInfo* record = ItemRecord(item);
    if (record == nullptr) return nullptr;
    const QString camera = FieldText(record->CustomDeviceName);
    auto* menu = new QMenu(this);
    menu->addAction(QString::fromUtf8(CPlaybackDlg::kTitle), this,
                    [this, camera] { OpenPlayback(camera); })
        ->setEnabled(catalog_ != nullptr);
    menu->addAction(QString::fromUtf8(CMotionSettingsDlg::kTitle), this,
                    [this, copy = *record] { OpenMotionSettings(copy); });
    return menu;
}

void CMonitorDlg::OpenMotionSettings(const DeviceInfo& record) {
    auto picture = [cells = QPointer<CMonitorDlg>(this), record]() -> QImage {
        if (!cells) return QImage();
        for (CVideoCell* cell : cells->cells_) {
            if (cell != nullptr && cell->HoldsDevice(record)) return cell->Picture();
        }
        return QImage();
    };
    auto* dialog = new CMotionSettingsDlg(this, FieldText(record.CustomDeviceName),
                                          MotionSettingsFor(motion_, record), picture);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, record] {
        const MotionSettings chosen = dialog->Result();
        motion_[MotionSettingsKey(record)] = chosen;
        if (!SaveMotionSettings(MotionSettingsPath(CameraListPath()), motion_)) {
            AppLog("保存移动侦测设置失败");
        }
        for (CVideoCell* cell : cells_) {
            if (cell != nullptr) cell->ApplyMotionSettings(record, chosen);
        }
    });
    dialog->open();
}

int CMonitorDlg::PlaceOf(const DeviceInfo& record) const {
    for (size_t i = 0; i < records_.size(); ++i) {
        if (IsSameCamera(records_[i], record)) return static_cast<int>(i) + 1;
    }
    return 0;
}

void CMonitorDlg::OpenRestreamSettings() {
    if (restream_ == nullptr) return;
    std::vector<CRestreamSettingsDlg::Camera> cameras;
    for (size_t i = 0; i < records_.size(); ++i) {
        cameras.push_back(
            {static_cast<int>(i) + 1, FieldText(records_[i].CustomDeviceName).toStdString()});
    }
    auto apply = [this](const RestreamSettings& settings) -> std::string {
        const std::string problem = settings.Problem();
        if (!problem.empty()) {
            if (settings.IsEnabled()) AppLog(("网络串流未启动: " + problem).c_str());
            return "未保存: " + problem;
        }
        std::string reason;
        if (!settings.Write(app_.ConfigPath(), &reason)) {
            AppLog(("保存网络串流设置失败: " + reason).c_str());
            return "未保存: " + reason;
        }
        // Logged by the service when the server does not start.
        reason = restream_->Apply(settings);
        return reason.empty() ? reason : "已保存. " + reason;
    };
    auto* dialog = new CRestreamSettingsDlg(this, restream_->Settings(), restream_->Port(),
                                            std::move(cameras), apply);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void CMonitorDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = NewWindowMenu();
    menu->exec(event->globalPos());
    delete menu;
}

void CMonitorDlg::ShowTreeMenu(const QPoint& at) {
    if (QMenu* menu = NewTreeMenu(tree_->itemAt(at))) {
        menu->exec(tree_->viewport()->mapToGlobal(at));
        delete menu;
    }
}

CPlaybackDlg* CMonitorDlg::Playback() const {
    return playback_.data();
}

void CMonitorDlg::OpenPlayback(const QString& camera) {
    if (catalog_ == nullptr) return;
    if (!playback_) {
        playback_ = new CPlaybackDlg(*catalog_, this);
        playback_->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!camera.isEmpty()) playback_->ChooseCamera(camera);
    playback_->show();
    playback_->raise();
    playback_->activateWindow();
}

void CMonitorDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMonitorDlg::PostSettingsEnabled(bool enabled) {
    uiLink_.Post([this, enabled] { settingsButton_->setEnabled(enabled); });
}

void CMonitorDlg::PostOpenFirstCameras() {
    uiLink_.Post([this] { OpenFirstCameras(); });
}

void CMonitorDlg::PostToggleInfoBar() {
    uiLink_.Post([this] { ToggleInfoBar(); });
}

std::string CMonitorDlg::CameraListPath() {
    return app_.CameraListPath();
}

AppSettings CMonitorDlg::Settings() {
    return app_.Settings();
}

bool CMonitorDlg::WaitOrStop(int ms) {
    std::unique_lock<std::mutex> lock(stopLock_);
    return stopSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}
