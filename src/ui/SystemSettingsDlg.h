// CSystemSettingsDlg: the dialog in which the operator discovers the cameras, previews
// one, names them and chooses which record (the upper half), and sets the recording
// folder, the days to keep recordings and the two start-up switches (the lower half).
// The main window opens a new one for every click on its settings button. The list
// starts empty; each discovery sends the new list to the main window and rewrites
// CameraList.xml, and so does each saved device edit. The settings are written to
// OrvexCfg.ini and into the application only by "保存配置".
//
// Threads: everything runs on the UI thread except DiscoverDevices, which runs on the
// discovery worker. The worker touches no widget and none of the dialog's rows: it
// enumerates into its own buffer and hands the result over by posting, and never
// waits for the UI thread, so closing the dialog during a discovery only waits for the
// enumeration to end. While a discovery runs the list is empty, so no device edit can
// start on a row it replaces.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "capture/WorkerThread.h"
#include "common/DeviceInfo.h"

class CDeviceInfoDlg;
class CPreviewArea;
class CStyledButton;
class IOperatorPrompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QTableWidget;

class CSystemSettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSystemSettingsDlg(QWidget* parent = nullptr);
    // Closes the preview and waits for a discovery under way to end.
    ~CSystemSettingsDlg() override;

    // A camera saved in the device dialog: replaces the record of the row numbered by
    // its DeviceIndex, rewrites the camera list file and sends the list to the main
    // window. 1 when done; 0, changing nothing, when no row has that number.
    int UpdateDevice(DeviceInfo record);
    // One discovery; on the discovery worker's thread.
    void DiscoverDevices();

    // Where message boxes and the folder browser go; the operator's by default.
    void SetPrompts(IOperatorPrompts* prompts);
    CPreviewArea* PreviewArea() const { return previewArea_; }
    CDeviceInfoDlg* DeviceDialog() const { return deviceDlg_; }

signals:
    // A discovery has ended and its rows are shown.
    void DevicesShown(int count);

protected:
    bool event(QEvent* event) override;

private:
    void CreateControls();
    void OnInitDialog();
    void OnGetDevices();
    void OnDiscovered(const std::vector<DeviceInfo>& records);
    void OnPreviewVideo();
    void OnModifyDevice();
    void OnBrowseFolder();
    void OnSaveConfig();
    // The lowest ticked row, after telling the operator when there is none; -1 then.
    int ChosenRow();
    void ShowRow(int row);
    void ShowMessage(const QString& text);

    // Controls: children, owned by Qt.
    QTableWidget* list_ = nullptr;           // 1002
    CStyledButton* getDevices_ = nullptr;    // 1003
    CStyledButton* previewVideo_ = nullptr;  // 1005
    CStyledButton* modifyDevice_ = nullptr;  // 1030
    CPreviewArea* previewArea_ = nullptr;    // 1001
    QCheckBox* supportRecord_ = nullptr;     // 1025
    QCheckBox* openVideo_ = nullptr;         // 1026
    QLineEdit* recordDir_ = nullptr;         // 1015
    QLineEdit* days_ = nullptr;              // 1019
    CStyledButton* saveConfig_ = nullptr;    // 1017
    QLabel* status_ = nullptr;               // 1018
    CDeviceInfoDlg* deviceDlg_ = nullptr;    // reused for every edit
    IOperatorPrompts* prompts_;

    std::vector<DeviceInfo> records_;  // UI thread: the record of each row, by row
    bool discovering_ = false;         // UI thread: from the click to the rows shown
    // Created by the first click, on the UI thread, before its thread starts; the
    // worker only pauses it.
    std::unique_ptr<CWorkerThread> discovery_;
};
