// The network stream settings dialog offscreen: the addresses it lists, and what "保存"
// hands over and shows. ORVEX_RESTREAMDLG_GRAB names a PNG file to receive a picture of
// the dialog.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "ui/RestreamSettingsDlg.h"

class RestreamSettingsDlgTest : public QObject {
    Q_OBJECT

private slots:
    void ListsEachCameraByNumberAndByName() {
        const std::vector<CRestreamSettingsDlg::Camera> cameras = {{1, "门口"}, {3, ""}};
        RestreamSettings settings;
        settings.Port = 9554;
        struct Case {
            std::string address;
            QString expected;
        };
        for (const Case& c : std::vector<Case>{
                 {"0.0.0.0",
                  "门口\n    rtsp://10.1.2.3:9554/cam1\n    "
                  "rtsp://10.1.2.3:9554/%E9%97%A8%E5%8F%A3\n"
                  "\n    rtsp://10.1.2.3:9554/cam3\n"},
                 {"192.168.5.9",
                  "门口\n    rtsp://192.168.5.9:9554/cam1\n    "
                  "rtsp://192.168.5.9:9554/%E9%97%A8%E5%8F%A3\n\n    "
                  "rtsp://192.168.5.9:9554/cam3\n"},
             }) {
            settings.Address = c.address;
            QCOMPARE(CRestreamSettingsDlg::AddressLines(settings, "10.1.2.3", cameras), c.expected);
        }
    }

    // A refusal keeps the dialog open with its reason; an accepted save closes it with
    // what the operator typed.
    void SaveHandsOverWhatIsShownAndShowsARefusal() {
        std::vector<RestreamSettings> handed;
        std::string answer = "未保存: 启用网络串流需要密码";
        CRestreamSettingsDlg dialog(nullptr, RestreamSettings(), 0, {{1, "前门"}},
                                    [&](const RestreamSettings& settings) {
                                        handed.push_back(settings);
                                        return answer;
                                    });
        dialog.show();
        QCOMPARE(dialog.StatusLabel()->text(), QString::fromUtf8("未启用"));
        dialog.EnabledBox()->setChecked(true);
        dialog.UserEdit()->setText("viewer");
        dialog.PortBox()->setValue(9554);
        QVERIFY(dialog.AddressList()->toPlainText().contains(":9554/cam1"));
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.StatusLabel()->text(), QString::fromStdString(answer));

        answer.clear();
        dialog.PasswordEdit()->setText("s3cret");
        dialog.MaxClientsBox()->setValue(4);
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(handed.size(), size_t(2));
        const RestreamSettings& saved = handed.back();
        QVERIFY(saved.IsEnabled());
        QCOMPARE(saved.Port, 9554);
        QCOMPARE(saved.User, std::string("viewer"));
        QCOMPARE(saved.Password, std::string("s3cret"));
        QCOMPARE(saved.MaxClients, 4);
        QCOMPARE(saved.Address, std::string("0.0.0.0"));
    }

    void GrabsAPictureWhenAsked() {
        const QString path = qEnvironmentVariable("ORVEX_RESTREAMDLG_GRAB");
        if (path.isEmpty()) QSKIP("ORVEX_RESTREAMDLG_GRAB is not set");
        RestreamSettings settings;
        settings.Enabled = "1";
        settings.User = "viewer";
        settings.Password = "s3cret";
        CRestreamSettingsDlg dialog(nullptr, settings, 8554, {{1, "前门"}, {2, "后门"}}, {});
        dialog.show();
        QVERIFY(dialog.grab().save(path));
    }
};

QTEST_MAIN(RestreamSettingsDlgTest)
#include "RestreamSettingsDlgTest.moc"
