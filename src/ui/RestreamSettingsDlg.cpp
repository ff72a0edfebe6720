#include "ui/RestreamSettingsDlg.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "restream/MountPath.h"
#include "ui/DialogUnits.h"
#include "widgets/ButtonKeys.h"

namespace {

constexpr int kFontPoints = 10;
constexpr int kMaxPort = 65535;
constexpr int kMaxClients = 256;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

CRestreamSettingsDlg::CRestreamSettingsDlg(QWidget* parent, const RestreamSettings& initial,
                                           int runningPort, std::vector<Camera> cameras,
                                           ApplyFn apply)
    : QDialog(parent), cameras_(std::move(cameras)), apply_(std::move(apply)), host_(ThisHost()) {
    setWindowTitle(Text(kTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls();
    enabled_->setChecked(initial.IsEnabled());
    address_->setText(QString::fromStdString(initial.Address));
    port_->setValue(initial.Port);
    user_->setText(QString::fromStdString(initial.User));
    password_->setText(QString::fromStdString(initial.Password));
    maxClients_->setValue(initial.MaxClients);
    if (runningPort > 0) {
        ShowStatus(Text("运行中, 端口 ") + QString::number(runningPort), false);
    } else if (initial.IsEnabled()) {
        const std::string problem = initial.Problem();
        ShowStatus(Text("未启动") +
                       (problem.empty() ? QString() : Text(": ") + QString::fromStdString(problem)),
                   true);
    } else {
        ShowStatus(Text("未启用"), false);
    }
    ShowAddresses();
    for (QLineEdit* edit : {address_, user_, password_}) {
        connect(edit, &QLineEdit::textChanged, this, &CRestreamSettingsDlg::ShowAddresses);
    }
    connect(port_, &QSpinBox::valueChanged, this, &CRestreamSettingsDlg::ShowAddresses);
}

void CRestreamSettingsDlg::CreateControls() {
    const QFont dialogFont = SongDialogFont(kFontPoints);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);

    enabled_ = new QCheckBox(Text("启用 RTSP 网络串流"), this);
    enabled_->setGeometry(du.Rect(10, 8, 150, 10));

    auto row = [&](int top, const char* label, QWidget* field, int fieldWidth) {
        (new QLabel(Text(label), this))->setGeometry(du.Rect(10, top + 3, 60, 8));
        field->setGeometry(du.Rect(72, top, fieldWidth, 14));
    };
    address_ = new QLineEdit(this);
    row(24, "监听地址：", address_, 90);
    port_ = new QSpinBox(this);
    port_->setRange(1, kMaxPort);
    (new QLabel(Text("端口："), this))->setGeometry(du.Rect(170, 27, 30, 8));
    port_->setGeometry(du.Rect(200, 24, 50, 14));
    user_ = new QLineEdit(this);
    row(42, "用户名：", user_, 90);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    row(60, "密码：", password_, 90);
    maxClients_ = new QSpinBox(this);
    maxClients_->setRange(1, kMaxClients);
    row(78, "最大客户端数：", maxClients_, 50);

    status_ = new QLabel(this);
    status_->setGeometry(du.Rect(10, 98, 280, 10));

    auto* group = new QGroupBox(Text("摄像头地址"), this);
    group->setGeometry(du.Rect(7, 112, 286, 96));
    addresses_ = new QPlainTextEdit(this);
    addresses_->setReadOnly(true);
    addresses_->setLineWrapMode(QPlainTextEdit::NoWrap);
    addresses_->setGeometry(du.Rect(14, 124, 272, 78));

    save_ = new QPushButton(Text("保存"), this);
    save_->setGeometry(du.Rect(186, 216, 50, 14));
    cancel_ = new QPushButton(Text("取消"), this);
    cancel_->setGeometry(du.Rect(243, 216, 50, 14));
    setFixedSize(du.X(300), du.Y(237));
    // No default button: Enter in a field never saves by surprise.
    for (QPushButton* button : {save_, cancel_}) {
        button->setAutoDefault(false);
        ClickOnEnter(button);
    }
    connect(save_, &QPushButton::clicked, this, &CRestreamSettingsDlg::OnSave);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

RestreamSettings CRestreamSettingsDlg::Shown() const {
    RestreamSettings settings;
    settings.Enabled = enabled_->isChecked() ? "1" : "0";
    settings.Address = address_->text().trimmed().toStdString();
    settings.Port = port_->value();
    settings.User = user_->text().toStdString();
    settings.Password = password_->text().toStdString();
    settings.MaxClients = maxClients_->value();
    return settings;
}

QString CRestreamSettingsDlg::AddressLines(const RestreamSettings& settings,
                                           const std::string& host,
                                           const std::vector<Camera>& cameras) {
    // A server bound to every address is reached by this machine's own.
    const std::string shownHost =
        settings.Address.empty() || settings.Address == "0.0.0.0" ? host : settings.Address;
    const std::string base = "rtsp://" + shownHost + ":" + std::to_string(settings.Port);
    QString lines;
    for (const Camera& camera : cameras) {
        lines += QString::fromStdString(camera.Name) + Text("\n    ") +
                 QString::fromStdString(base + CameraNumberPath(camera.Place));
        const std::string namePath = CameraNamePath(camera.Name);
        if (!namePath.empty()) lines += Text("\n    ") + QString::fromStdString(base + namePath);
        lines += Text("\n");
    }
    return lines.isEmpty() ? Text("(摄像头列表为空)") : lines;
}

std::string CRestreamSettingsDlg::ThisHost() {
    std::string found;
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) == 0) {
        for (ifaddrs* item = interfaces; item != nullptr && found.empty(); item = item->ifa_next) {
            if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET) continue;
            const in_addr address = reinterpret_cast<sockaddr_in*>(item->ifa_addr)->sin_addr;
            if ((ntohl(address.s_addr) >> 24) == 127) continue;
            char text[INET_ADDRSTRLEN] = {};
            if (inet_ntop(AF_INET, &address, text, sizeof text) != nullptr) found = text;
        }
        freeifaddrs(interfaces);
    }
    if (found.empty()) {
        char name[256] = {};
        found = gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? name : "127.0.0.1";
    }
    return found;
}

void CRestreamSettingsDlg::ShowAddresses() {
    addresses_->setPlainText(AddressLines(Shown(), host_, cameras_));
}

void CRestreamSettingsDlg::ShowStatus(const QString& text, bool fault) {
    status_->setText(text);
    status_->setStyleSheet(fault ? QStringLiteral("color: #c81e1e;") : QString());
}

void CRestreamSettingsDlg::OnSave() {
    port_->interpretText();
    maxClients_->interpretText();
    const std::string reason = apply_ ? apply_(Shown()) : std::string();
    if (!reason.empty()) {
        ShowStatus(QString::fromStdString(reason), true);
        return;
    }
    accept();
}
