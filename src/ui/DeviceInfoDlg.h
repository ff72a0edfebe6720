// CDeviceInfoDlg: the small dialog in which the operator changes one camera's custom
// name and whether it records. The settings dialog owns one, gives it the ticked
// camera and itself as owner before each run; a save hands the changed record back to
// the owner's UpdateDevice and closes. Closing by the title bar, Escape or Enter
// applies nothing.
//
// Threads: the UI thread only.
#pragma once

#include <QDialog>

#include "common/DeviceInfo.h"

class CSystemSettingsDlg;
class IOperatorPrompts;
class QCheckBox;
class QLineEdit;

class CDeviceInfoDlg : public QDialog {
    Q_OBJECT

public:
    // The name field's limit: CustomDeviceName holds 255 bytes and its terminator.
    static constexpr int kNameBytes = sizeof(DeviceInfo::CustomDeviceName) - 1;

    explicit CDeviceInfoDlg(QWidget* parent = nullptr);

    // The camera to edit; its name and record flag are shown each time the dialog opens.
    void SetCamera(const DeviceInfo& camera) { camera_ = camera; }
    const DeviceInfo& Camera() const { return camera_; }
    // Who receives a saved record; without one a save changes only the camera here.
    void SetOwner(CSystemSettingsDlg* owner) { owner_ = owner; }
    void SetPrompts(IOperatorPrompts* prompts) { prompts_ = prompts; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnInitDialog();
    void OnSave();

    QLineEdit* name_ = nullptr;    // control 1026; children, owned by Qt
    QCheckBox* record_ = nullptr;  // control 1028
    DeviceInfo camera_;
    CSystemSettingsDlg* owner_ = nullptr;
    IOperatorPrompts* prompts_;
};
