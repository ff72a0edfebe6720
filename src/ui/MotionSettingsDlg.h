// CMotionSettingsDlg: "移动侦测设置", the motion settings of one camera: whether it
// watches for motion, how large a change counts, whether it records continuously or
// only around motion, and the cells of its picture not watched (CMotionMaskEditor over
// the camera's live picture). "保存" accepts with the settings shown in Result();
// "取消", Escape and the title bar reject and leave Result() at the initial value.
// There is no default button: Enter clicks the focused button only.
//
// Threads: the UI thread only; livePicture is called there (see CMotionMaskEditor).
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>

#include "common/MotionSettings.h"

class CMotionMaskEditor;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;

class CMotionSettingsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kTitle = "移动侦测设置";
    static constexpr double kMinAreaStepPct = 0.5;
    static constexpr int kMinAreaDecimals = 1;

    // cameraName: the camera's custom name, shown above the controls.
    CMotionSettingsDlg(QWidget* parent, const QString& cameraName, const MotionSettings& initial,
                       std::function<QImage()> livePicture);

    // The saved settings after "保存"; the initial ones until then.
    const MotionSettings& Result() const { return result_; }

    // The controls, which the tests drive.
    QCheckBox* EnabledBox() const { return enabled_; }
    QDoubleSpinBox* MinAreaBox() const { return minArea_; }
    QComboBox* RecordingBox() const { return recording_; }
    CMotionMaskEditor* MaskEditor() const { return mask_; }
    QPushButton* ClearMaskButton() const { return clearMask_; }
    QPushButton* ExcludeAllButton() const { return excludeAll_; }
    QPushButton* SaveButton() const { return save_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    void CreateControls(const QString& cameraName, std::function<QImage()> livePicture);
    void ShowSettings(const MotionSettings& settings);
    void OnSave();

    // Children, owned by Qt.
    QCheckBox* enabled_ = nullptr;
    QDoubleSpinBox* minArea_ = nullptr;
    QComboBox* recording_ = nullptr;
    CMotionMaskEditor* mask_ = nullptr;
    QPushButton* clearMask_ = nullptr;
    QPushButton* excludeAll_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
    MotionSettings result_;
};
