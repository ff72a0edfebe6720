#include "ui/MotionSettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/DialogUnits.h"
#include "ui/MotionMaskEditor.h"
#include "widgets/ButtonKeys.h"

namespace {

constexpr int kFontPoints = 10;
// The grid's cells are square on a 4:3 picture, the cameras' usual shape.
constexpr int kEditorWidthDu = 272;
constexpr int kContinuousItem = 0;
constexpr int kMotionOnlyItem = 1;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

CMotionSettingsDlg::CMotionSettingsDlg(QWidget* parent, const QString& cameraName,
                                       const MotionSettings& initial,
                                       std::function<QImage()> livePicture)
    : QDialog(parent), result_(initial) {
    setWindowTitle(Text(kTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    CreateControls(cameraName, std::move(livePicture));
    ShowSettings(initial);
}

void CMotionSettingsDlg::CreateControls(const QString& cameraName,
                                        std::function<QImage()> livePicture) {
    const QFont dialogFont = SongDialogFont(kFontPoints);
    setFont(dialogFont);
    const CDialogUnits du(dialogFont);

    auto* camera = new QLabel(this);
    camera->setGeometry(du.Rect(10, 8, 280, 8));
    const QString cameraText = Text("摄像头：") + cameraName;
    camera->setText(camera->fontMetrics().elidedText(cameraText, Qt::ElideRight, camera->width()));
    camera->setToolTip(cameraName);

    enabled_ = new QCheckBox(Text("启用移动侦测"), this);
    enabled_->setGeometry(du.Rect(10, 22, 100, 10));

    (new QLabel(Text("灵敏度 (最小变化面积 %)："), this))->setGeometry(du.Rect(10, 41, 100, 8));
    minArea_ = new QDoubleSpinBox(this);
    minArea_->setGeometry(du.Rect(112, 38, 50, 14));
    minArea_->setRange(MotionSettings::kMinAreaLowestPct, MotionSettings::kMinAreaHighestPct);
    minArea_->setSingleStep(kMinAreaStepPct);
    minArea_->setDecimals(kMinAreaDecimals);

    (new QLabel(Text("录像方式："), this))->setGeometry(du.Rect(10, 61, 100, 8));
    recording_ = new QComboBox(this);
    recording_->setGeometry(du.Rect(112, 58, 80, 14));
    recording_->insertItem(kContinuousItem, Text("连续录像"));
    recording_->insertItem(kMotionOnlyItem, Text("移动侦测录像"));

    // The editor's height follows its width in pixels: dialog units are not square.
    const int editorTop = du.Y(92);
    const int editorWidth = du.X(kEditorWidthDu);
    const int editorHeight = editorWidth * MotionSettings::kMaskRows / MotionSettings::kMaskColumns;
    mask_ = new CMotionMaskEditor(std::move(livePicture), this);
    mask_->setGeometry(du.X(14), editorTop, editorWidth, editorHeight);
    const int maskButtonsTop = editorTop + editorHeight + du.Y(6);
    clearMask_ = new QPushButton(Text("全部清除"), this);
    clearMask_->setGeometry(du.X(14), maskButtonsTop, du.X(50), du.Y(14));
    excludeAll_ = new QPushButton(Text("全部屏蔽"), this);
    excludeAll_->setGeometry(du.X(70), maskButtonsTop, du.X(50), du.Y(14));
    auto* maskNote = new QLabel(Text("左键拖动屏蔽, 右键拖动清除"), this);
    maskNote->setGeometry(du.X(128), maskButtonsTop + du.Y(3), du.X(158), du.Y(8));
    maskNote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int groupBottom = maskButtonsTop + du.Y(14 + 7);
    auto* group = new QGroupBox(Text("屏蔽区域"), this);
    group->setGeometry(du.X(7), du.Y(80), du.X(286), groupBottom - du.Y(80));
    group->lower();

    const int dialogButtonsTop = groupBottom + du.Y(8);
    save_ = new QPushButton(Text("保存"), this);
    save_->setGeometry(du.X(186), dialogButtonsTop, du.X(50), du.Y(14));
    cancel_ = new QPushButton(Text("取消"), this);
    cancel_->setGeometry(du.X(243), dialogButtonsTop, du.X(50), du.Y(14));
    setFixedSize(du.X(300), dialogButtonsTop + du.Y(14 + 7));

    // No default button: Enter acts on the focused button only, so that Enter in the
    // number field never closes the dialog by surprise.
    for (QPushButton* button : {clearMask_, excludeAll_, save_, cancel_}) {
        button->setAutoDefault(false);
        ClickOnEnter(button);
    }
    connect(clearMask_, &QPushButton::clicked, mask_, &CMotionMaskEditor::ClearAll);
    connect(excludeAll_, &QPushButton::clicked, mask_, &CMotionMaskEditor::ExcludeAll);
    connect(save_, &QPushButton::clicked, this, &CMotionSettingsDlg::OnSave);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CMotionSettingsDlg::ShowSettings(const MotionSettings& settings) {
    enabled_->setChecked(settings.Enabled);
    minArea_->setValue(settings.MinAreaPct);
    recording_->setCurrentIndex(settings.MotionOnlyRecording ? kMotionOnlyItem : kContinuousItem);
    mask_->SetExcluded(settings.Excluded);
}

void CMotionSettingsDlg::OnSave() {
    // A number still being typed counts as it reads now, as the arrows would leave it.
    minArea_->interpretText();
    result_.Enabled = enabled_->isChecked();
    result_.MinAreaPct = minArea_->value();
    result_.MotionOnlyRecording = recording_->currentIndex() == kMotionOnlyItem;
    result_.Excluded = mask_->Excluded();
    accept();
}
