// CRestreamSettingsDlg: "网络串流设置", the RTSP restream's settings (on or off, the
// address and port it listens on, the login, how many clients at once) and the
// address of each camera of the list. "保存" hands the settings to the apply function,
// which saves and starts them; when it gives a text instead (what failed), the dialog
// shows it and stays open. "取消", Escape and the title bar close it unchanged.
//
// Threads: the UI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/RestreamSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class CRestreamSettingsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "网络串流设置";
    // Empty when the settings were saved and applied, else why not.
    using ApplyFn = std::function<std::string(const RestreamSettings&)>;
    struct Camera {
        int Place = 0;     // 1-based in the camera list
        std::string Name;  // its custom name
    };

    // runningPort: where the server listens now, 0 when none runs.
    CRestreamSettingsDlg(QWidget* parent, const RestreamSettings& initial, int runningPort,
                         std::vector<Camera> cameras, ApplyFn apply);

    // The addresses of the cameras under the settings shown, one line each.
    static QString AddressLines(const RestreamSettings& settings, const std::string& host,
                                const std::vector<Camera>& cameras);
    // This machine's address as other machines see it: the first IPv4 address that is
    // not a loopback one, else the host name.
    static std::string ThisHost();

    // The controls, which the tests drive.
    QCheckBox* EnabledBox() const { return enabled_; }
    QLineEdit* AddressEdit() const { return address_; }
    QSpinBox* PortBox() const { return port_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QSpinBox* MaxClientsBox() const { return maxClients_; }
    QLabel* StatusLabel() const { return status_; }
    QPlainTextEdit* AddressList() const { return addresses_; }
    QPushButton* SaveButton() const { return save_; }

private:
    void CreateControls();
    RestreamSettings Shown() const;
    void ShowAddresses();
    void ShowStatus(const QString& text, bool fault);
    void OnSave();

    const std::vector<Camera> cameras_;
    const ApplyFn apply_;
    const std::string host_;
    // Children, owned by Qt.
    QCheckBox* enabled_ = nullptr;
    QLineEdit* address_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QSpinBox* maxClients_ = nullptr;
    QLabel* status_ = nullptr;
    QPlainTextEdit* addresses_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
