// CSystemSettingsDlg: the dialog in which the operator discovers the cameras, previews
// one, names them and chooses which record (the upper half), and sets the recording
// folder, the days to keep recordings and the two start-up switches (the lower half).
// The main window opens a new one for every click on its settings button. The list
// starts empty; each discovery sends the new list to the main window and rewrites
// CameraList.xml with its key file, and so does each saved device edit. A discovery
// keeps the custom name and the recording choice of every camera the current list
// already held. The settings are written to OrvexCfg.ini and into the application
// only by "保存配置".
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
#include <mutex>
#include <string>
#include <vector>

#include "capture/WorkerThread.h"
#include "common/DeviceInfo.h"
#include "ui/UiThread.h"

class CDeviceInfoDlg;
class CMonitorApp;
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
    // known: the cameras the main window lists now, whose names and recording choices
    // a discovery keeps.
    CSystemSettingsDlg(CMonitorApp& app, std::vector<DeviceInfo> known, QWidget* parent = nullptr);
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

private:
    // What a discovery works with, taken on the UI thread at the click.
    struct CRequest {
        std::vector<DeviceInfo> Known;
        int RecordFlag = 0;  // of a camera the list did not hold
    };

    void CreateControls();
    void OnInitDialog();
    void OnGetDevices();
    void OnDiscovered(const std::vector<DeviceInfo>& records, const std::vector<std::string>& keys);
    // Writes the list and its keys, then sends it to the main window (or the other
    // way round: postFirst); any thread.
    void SaveAndPost(const std::vector<DeviceInfo>& records, const std::vector<std::string>& keys,
                     bool postFirst);
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
    CMonitorApp& app_;

    std::vector<DeviceInfo> records_;  // UI thread: the record of each row, by row
    std::vector<std::string> keys_;    // UI thread: the camera key of each row
    std::vector<DeviceInfo> known_;    // UI thread: the list the main window was last sent
    std::mutex requestLock_;           // held only to copy request_ in or out
    CRequest request_;                 // guarded by requestLock_
    bool discovering_ = false;         // UI thread: from the click to the rows shown
    CUiLink uiLink_{this};             // the discovery's end
    // Created by the first click, on the UI thread, before its thread starts; the
    // worker only pauses it.
    std::unique_ptr<CWorkerThread> discovery_;
};
