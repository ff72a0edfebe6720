#include "ui/SystemSettingsDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <array>
#include <cstring>

#include "app/MonitorApp.h"
#include "capture/CameraCap.h"
#include "capture/RecordDirGuard.h"
#include "common/Messages.h"
#include "config/CameraListFile.h"
#include "config/KnownCameras.h"
#include "ui/DeviceInfoDlg.h"
#include "ui/DialogUnits.h"
#include "ui/OperatorPrompts.h"
#include "ui/PreviewArea.h"
#include "ui/UiThread.h"
#include "widgets/ButtonKeys.h"
#include "widgets/StyledButton.h"

namespace {

constexpr int kFontPoints = 10;
constexpr int kMinDays = 1;
constexpr int kMaxDays = 60;
constexpr int kColumnWidths[] = {80, 220, 220, 150, 200, 200};
constexpr const char* kColumnHeadings[] = {"序号",   "设备名称", "自定义名称",
                                           "分辨率", "视频格式", "是否录像"};
constexpr int kNameColumn = 2;
constexpr int kRecordColumn = 5;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString FieldText(const char (&field)[256]) {
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, sizeof field)));
}

QString RecordText(const DeviceInfo& record) {
    return Text(record.RecordFlag != 0 ? "是" : "否");
}

QString FoundText(int count) {
    return Text("获取到%1条摄像头信息").arg(count);
}

// The discovery thread's function; the user pointer is the dialog.
int32_t DiscoveryProc(void* user) {
    if (user != nullptr) static_cast<CSystemSettingsDlg*>(user)->DiscoverDevices();
    return 0;
}

// The days field read as a whole number, blanks around it allowed and nothing else.
// Empty text when it is one from 1 to 60, else what to tell the operator.
QString CheckDays(const QString& text, int* days) {
    bool number = false;
    const long long value = text.trimmed().toLongLong(&number);
    if (!number) return Text("请输入一个整数。");
    if (value < kMinDays || value > kMaxDays) {
        return Text("请输入一个介于 %1 和 %2 之间的整数。").arg(kMinDays).arg(kMaxDays);
    }
    *days = static_cast<int>(value);
    return {};
}

}  // namespace

CSystemSettingsDlg::CSystemSettingsDlg(CMonitorApp& app, std::vector<DeviceInfo> known,
                                       QWidget* parent)
    : QDialog(parent), prompts_(&OperatorPrompts()), app_(app), known_(std::move(known)) {
    setWindowTitle(Text("系统设置"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls();
    OnInitDialog();
}

CSystemSettingsDlg::~CSystemSettingsDlg() {
    previewArea_->Close();
    // The worker never waits for this thread, so this ends with its pass. Stopped
    // before the pointer goes: the worker pauses itself through it.
    if (discovery_) discovery_->StopThread();
}

void CSystemSettingsDlg::CreateControls() {
    const QFont dialogFont = SongDialogFont(kFontPoints);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);
    setFixedSize(du.X(593), du.Y(390));
    const auto place = [&du](QWidget* control, int id, int x, int y, int width, int height) {
        if (id != 0) control->setObjectName(QString::number(id));
        control->setGeometry(du.Rect(x, y, width, height));
    };

    list_ = new QTableWidget(0, std::size(kColumnWidths), this);
    place(list_, 1002, 7, 14, 579, 143);
    for (int column = 0; column < static_cast<int>(std::size(kColumnWidths)); ++column) {
        list_->setHorizontalHeaderItem(column, new QTableWidgetItem(Text(kColumnHeadings[column])));
        list_->setColumnWidth(column, kColumnWidths[column]);
    }
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);

    getDevices_ = new CStyledButton(Text("获取设备"), this);
    place(getDevices_, 1003, 33, 169, 79, 31);
    previewVideo_ = new CStyledButton(Text("预览视频"), this);
    place(previewVideo_, 1005, 139, 168, 72, 33);
    modifyDevice_ = new CStyledButton(Text("修改设备信息"), this);
    place(modifyDevice_, 1030, 239, 168, 76, 33);
    previewArea_ = new CPreviewArea(Text("视频预览"), this);
    place(previewArea_, 1001, 384, 169, 202, 198);

    place(new QGroupBox(Text("配置"), this), 0, 34, 218, 340, 144);
    supportRecord_ = new QCheckBox(Text("支持录像"), this);
    place(supportRecord_, 1025, 53, 244, 46, 10);
    openVideo_ = new QCheckBox(Text("启动时打开所有视频"), this);
    place(openVideo_, 1026, 119, 244, 83, 10);
    place(new QLabel(Text("录像存储目录:"), this), 0, 52, 273, 50, 8);
    recordDir_ = new QLineEdit(this);
    place(recordDir_, 1015, 108, 271, 129, 14);
    recordDir_->setEnabled(false);  // only the browser fills it
    auto* browse = new QPushButton(Text("浏览"), this);
    place(browse, 1016, 246, 271, 41, 14);
    place(new QLabel(Text("录像保存天数:"), this), 0, 52, 295, 50, 8);
    days_ = new QLineEdit(this);
    place(days_, 1019, 108, 294, 38, 14);
    saveConfig_ = new CStyledButton(Text("保存配置"), this);
    place(saveConfig_, 1017, 230, 316, 91, 36);
    status_ = new QLabel(this);
    place(status_, 1018, 37, 369, 203, 8);

    // No default button: Enter acts on the focused button only (ButtonKeys.h), never
    // starts a discovery or a save by surprise.
    for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
    ClickOnEnter(browse);
    connect(getDevices_, &QPushButton::clicked, this, &CSystemSettingsDlg::OnGetDevices);
    connect(previewVideo_, &QPushButton::clicked, this, &CSystemSettingsDlg::OnPreviewVideo);
    connect(saveConfig_, &QPushButton::clicked, this, &CSystemSettingsDlg::OnSaveConfig);
    connect(browse, &QPushButton::clicked, this, &CSystemSettingsDlg::OnBrowseFolder);
    connect(modifyDevice_, &QPushButton::clicked, this, &CSystemSettingsDlg::OnModifyDevice);

    deviceDlg_ = new CDeviceInfoDlg(this);
}

void CSystemSettingsDlg::OnInitDialog() {
    getDevices_->SetIconFromResource(130);
    previewVideo_->SetIconFromResource(132);
    saveConfig_->SetIconFromResource(136);
    const AppSettings settings = app_.Settings();
    recordDir_->setText(QString::fromStdString(settings.RecordDir));
    days_->setText(QString::number(settings.RecordSaveDay));
    supportRecord_->setChecked(settings.IsSupportRecord());
    openVideo_->setChecked(settings.IsOpenVideoAfterStart());
    status_->clear();
}

void CSystemSettingsDlg::SetPrompts(IOperatorPrompts* prompts) {
    prompts_ = prompts;
    deviceDlg_->SetPrompts(prompts);
}

void CSystemSettingsDlg::ShowMessage(const QString& text) {
    prompts_->ShowMessage(this, Text(kApplicationTitle), text);
}

void CSystemSettingsDlg::OnGetDevices() {
    getDevices_->setEnabled(false);
    previewVideo_->setEnabled(false);
    status_->setText(Text("正在获取摄像头信息.."));
    records_.clear();
    keys_.clear();
    list_->setRowCount(0);
    discovering_ = true;
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        request_.Known = known_;
        request_.RecordFlag = app_.Settings().IsSupportRecord() ? 1 : 0;
    }
    if (!discovery_) {
        discovery_ = std::make_unique<CWorkerThread>();
        discovery_->SetThreadFunction(&DiscoveryProc, this);
        // Started paused, so that the Resume below is what lets the one pass run.
        discovery_->Pause();
        discovery_->StartThread();
    }
    discovery_->Resume();
}

void CSystemSettingsDlg::DiscoverDevices() {
    AppLog("开始获取摄像头信息");
    CRequest request;
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        request = request_;
    }
    std::array<DeviceInfo, kCameraTableRecords> found{};  // this thread's own
    std::array<CameraKey, kCameraTableRecords> foundKeys{};
    int32_t count = 0;
    CameraCap_EnumDeviceKeys(found.data(), foundKeys.data(), &count);
    count = std::clamp(count, 0, kCameraTableRecords);
    std::vector<DeviceInfo> records(found.begin(), found.begin() + count);
    std::vector<std::string> keys;
    for (int i = 0; i < count; ++i) {
        records[i].RecordFlag = request.RecordFlag;
        keys.emplace_back(foundKeys[i].Text, strnlen(foundKeys[i].Text, kCameraKeyBytes));
    }
    KeepOperatorChoices(records, request.Known);
    // The main window may show the list before the file holds it.
    SaveAndPost(records, keys, true);
    AppLog(FoundText(count).toUtf8().constData());
    // Paused before the dialog hears of the end, so that the next click's Resume
    // always finds the worker paused and gives exactly one more pass.
    discovery_->Pause();
    uiLink_.Post([this, records, keys] { OnDiscovered(records, keys); });
}

void CSystemSettingsDlg::SaveAndPost(const std::vector<DeviceInfo>& records,
                                     const std::vector<std::string>& keys, bool postFirst) {
    const auto post = [&] {
        std::unique_ptr<DeviceInfo[], void (*)(DeviceInfo*)> table(NewCameraTable(),
                                                                   &FreeCameraTable);
        if (!table) return;
        std::copy(records.begin(), records.end(), table.get());
        const auto count = static_cast<LPARAM>(records.size());
        // From a successful post on the table belongs to the main window.
        if (app_.PostToMainWindow(WM_CAMERA_LIST, reinterpret_cast<WPARAM>(table.get()), count)) {
            table.release();
        }
    };
    if (postFirst) post();
    const std::string path = app_.CameraListPath();
    // A failed write is reported, not hidden: the operator's names would be lost at
    // the next start.
    if (!SaveCameraList(records.data(), static_cast<int>(records.size()), path, keys)) {
        AppLog(("写入摄像头列表文件失败 " + path).c_str());
    }
    if (!postFirst) post();
}

void CSystemSettingsDlg::OnDiscovered(const std::vector<DeviceInfo>& records,
                                      const std::vector<std::string>& keys) {
    records_ = records;
    keys_ = keys;
    known_ = records;
    list_->setRowCount(static_cast<int>(records_.size()));
    for (int row = 0; row < static_cast<int>(records_.size()); ++row) ShowRow(row);
    status_->setText(FoundText(static_cast<int>(records_.size())));
    discovering_ = false;
    getDevices_->setEnabled(true);
    previewVideo_->setEnabled(true);
    emit DevicesShown(static_cast<int>(records_.size()));
}

void CSystemSettingsDlg::ShowRow(int row) {
    const DeviceInfo& record = records_[row];
    auto* number = new QTableWidgetItem(QString::number(row));
    number->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    number->setCheckState(Qt::Unchecked);
    list_->setItem(row, 0, number);
    const QString texts[] = {FieldText(record.DeviceName), FieldText(record.CustomDeviceName),
                             QStringLiteral("%1 x %2").arg(record.Width).arg(record.Height),
                             QString(), RecordText(record)};
    for (int column = 1; column <= kRecordColumn; ++column) {
        list_->setItem(row, column, new QTableWidgetItem(texts[column - 1]));
    }
}

int CSystemSettingsDlg::ChosenRow() {
    if (list_->rowCount() == 0) {
        ShowMessage(Text("列表中没有任何设备"));
        return -1;
    }
    for (int row = 0; row < list_->rowCount(); ++row) {
        if (list_->item(row, 0)->checkState() == Qt::Checked) return row;
    }
    ShowMessage(Text("请先选择一个设备"));
    return -1;
}

void CSystemSettingsDlg::OnPreviewVideo() {
    const int row = ChosenRow();
    if (row >= 0) previewArea_->Open(records_[row]);
}

void CSystemSettingsDlg::OnModifyDevice() {
    const int row = ChosenRow();
    if (row < 0) return;
    previewArea_->Close();
    previewArea_->ClearCaption();
    deviceDlg_->SetCamera(records_[row]);
    deviceDlg_->SetOwner(this);
    deviceDlg_->open();
}

int CSystemSettingsDlg::UpdateDevice(DeviceInfo record) {
    const int row = record.DeviceIndex;
    if (discovering_ || row < 0 || row >= static_cast<int>(records_.size())) return 0;
    records_[row] = record;
    known_ = records_;
    list_->item(row, kNameColumn)->setText(FieldText(record.CustomDeviceName));
    list_->item(row, kRecordColumn)->setText(RecordText(record));
    SaveAndPost(records_, keys_, false);
    return 1;
}

void CSystemSettingsDlg::OnBrowseFolder() {
    const QString folder =
        prompts_->ChooseFolder(this, Text("请选择录像存储目录："), QDir::homePath());
    if (folder.isEmpty()) {
        ShowMessage(Text("无效的目录，请重新选择"));
        return;
    }
    recordDir_->setText(folder);
}

void CSystemSettingsDlg::OnSaveConfig() {
    int days = 0;
    const QString refusal = CheckDays(days_->text(), &days);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal);
        days_->setFocus();
        days_->selectAll();
        return;
    }
    AppSettings settings = app_.Settings();
    settings.RecordDir = recordDir_->text().toStdString();
    settings.RecordSaveDay = days;
    settings.SupportRecord = supportRecord_->isChecked() ? "1" : "0";
    settings.OpenVideoAfterStart = openVideo_->isChecked() ? "1" : "0";
    std::string reason;
    // One write for the four keys: the file and the application change together or
    // not at all.
    if (!settings.Write(app_.ConfigPath(), &reason)) {
        ShowMessage(Text("保存配置失败：%1").arg(QString::fromStdString(reason)));
        return;
    }
    app_.SetSettings(settings);
    // The operator chose the folder: its file system is the one to record on now.
    CRecordDirGuard::Forget();
    ShowMessage(Text("保存配置成功"));
}
