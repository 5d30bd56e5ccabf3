// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dev_config_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "dialogs/config_values.h"
#include "dialogs/digits_validator.h"
#include "dialogs/message_box.h"
#include "dialogs/x_button.h"

namespace {

// The largest preset number whose command still fits the value: command byte plus three bytes.
constexpr int32_t kMaxPreset = 0xFFFFFF;

QComboBox* MakeList(const QStringList& keys) {
    auto* list = new QComboBox;
    for (const QString& key : keys) list->addItem(AppProfile::Translate(key));
    list->setCurrentIndex(-1);
    return list;
}

}  // namespace

CDevConfigDlg::CDevConfigDlg(const AppSettings& settings, const SettingsStore& store, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(AppProfile::Translate(QStringLiteral("Device Config Dialog")));
    auto* groups = new QHBoxLayout;
    groups->addWidget(MakeVideoGroup());
    groups->addWidget(MakeCameraGroup(), 1);

    status_ = new QLabel;
    status_->setTextFormat(Qt::PlainText);
    status_->setFrameShape(QFrame::StyledPanel);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    auto* save =
        qobject_cast<QPushButton*>(AddButton(kSave, AppProfile::Translate(QStringLiteral("Save")), false));
    save->setDefault(true);
    bottom->addWidget(save);
    bottom->addWidget(AddButton(kClose, AppProfile::Translate(QStringLiteral("Close")), false));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(bottom);

    if (!store.showResolutionConfig()) {
        resolution_->hide();
        resolution_->setEnabled(false);
        findChild<QLabel*>(QStringLiteral("label1055"))->hide();
    }
}

QWidget* CDevConfigDlg::MakeVideoGroup() {
    auto* group = new QGroupBox(AppProfile::Translate(QStringLiteral("Video Config")));
    auto* grid = new QGridLayout(group);
    quality_ = MakeList(config_values::QualityKeys());
    resolution_ = MakeList(config_values::ResolutionKeys());
    bit_rate_ = MakeList(config_values::BitRateKeys());
    frame_rate_ = new QLineEdit(QStringLiteral("0"));
    frame_rate_->setValidator(new DigitsValidator(DigitsValidator::kAnyNumber, frame_rate_));
    const auto label = [](const QString& text, const char* name) {
        auto* widget = new QLabel(text);
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    grid->addWidget(label(AppProfile::Translate(QStringLiteral("Quality")), "label1053"), 0, 0);
    grid->addWidget(quality_, 0, 1);
    grid->addWidget(label(AppProfile::Translate(QStringLiteral("Resolution")), "label1055"), 1, 0);
    grid->addWidget(resolution_, 1, 1);
    grid->addWidget(label(AppProfile::Translate(QStringLiteral("FrameRate")), "label1054"), 2, 0);
    grid->addWidget(frame_rate_, 2, 1);
    grid->addWidget(label(AppProfile::Translate(QStringLiteral("BitRate")), "label1056"), 3, 0);
    grid->addWidget(bit_rate_, 3, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(AddButton(kRefresh, AppProfile::Translate(QStringLiteral("Refresh")), false));
    row->addWidget(AddButton(kApply, AppProfile::Translate(QStringLiteral("Apply")), false));
    grid->addLayout(row, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
    return group;
}

QWidget* CDevConfigDlg::MakeCameraGroup() {
    auto* group = new QGroupBox(AppProfile::Translate(QStringLiteral("PTZ Action")));
    auto* grid = new QGridLayout(group);
    // The direction pad around Stop, then the paired hold buttons, then the plain commands.
    const struct {
        int id, row, column;
        QString text;
    } pad[] = {
        {1204, 0, 0, AppProfile::Translate(QStringLiteral("Left-Up"))},
        {1200, 0, 1, AppProfile::Translate(QStringLiteral("Up"))},
        {1206, 0, 2, AppProfile::Translate(QStringLiteral("Right-Up"))},
        {1202, 1, 0, AppProfile::Translate(QStringLiteral("Left"))},
        {CameraCommandRule::kStop, 1, 1, AppProfile::Translate(QStringLiteral("Stop"))},
        {1203, 1, 2, AppProfile::Translate(QStringLiteral("Right"))},
        {1205, 2, 0, AppProfile::Translate(QStringLiteral("Left-Down"))},
        {1201, 2, 1, AppProfile::Translate(QStringLiteral("Down"))},
        {1207, 2, 2, AppProfile::Translate(QStringLiteral("Right-Down"))},
        {1208, 3, 0, AppProfile::Translate(QStringLiteral("Zoom Up"))},
        {1209, 3, 1, AppProfile::Translate(QStringLiteral("Zoom Down"))},
        {1210, 4, 0, AppProfile::Translate(QStringLiteral("Focus Far"))},
        {1211, 4, 1, AppProfile::Translate(QStringLiteral("Focus Near"))},
        {1212, 5, 0, AppProfile::Translate(QStringLiteral("IR Open"))},
        {1213, 5, 1, AppProfile::Translate(QStringLiteral("IR Close"))},
        {1214, 3, 2, AppProfile::Translate(QStringLiteral("Light On"))},
        {1215, 4, 2, AppProfile::Translate(QStringLiteral("Light Off"))},
        {1084, 5, 2, AppProfile::Translate(QStringLiteral("Laser"))},
        {1085, 6, 2, AppProfile::Translate(QStringLiteral("Spot"))},
    };
    for (const auto& entry : pad) {
        const bool hold =
            entry.id >= CameraCommandRule::kFirstHold && entry.id <= CameraCommandRule::kLastHold;
        grid->addWidget(AddButton(entry.id, entry.text, hold), entry.row, entry.column);
    }
    preset_ = new QLineEdit(QStringLiteral("1"));
    preset_->setValidator(new DigitsValidator(kMaxPreset, preset_));
    grid->addWidget(preset_, 6, 0, 1, 2);
    grid->addWidget(AddButton(1216, AppProfile::Translate(QStringLiteral("Preset Get")), false), 7, 0);
    grid->addWidget(AddButton(1217, AppProfile::Translate(QStringLiteral("Preset Set")), false), 7, 1);
    grid->addWidget(AddButton(1218, AppProfile::Translate(QStringLiteral("Preset Del")), false), 7, 2);
    return group;
}

QAbstractButton* CDevConfigDlg::AddButton(int control_id, const QString& text, bool hold) {
    QPushButton* button = nullptr;
    if (hold) {
        auto* hold_button = new CxButton(control_id, text);
        // Direct: the owner handles a press or release before the button goes on.
        connect(hold_button, &CxButton::Notified, this, &CDevConfigDlg::Command, Qt::DirectConnection);
        button = hold_button;
    } else {
        button = new QPushButton(text);
        button->setAutoDefault(false);
    }
    connect(button, &QPushButton::clicked, this, [this, control_id] { Command(control_id, 0); });
    buttons_.insert(control_id, button);
    return button;
}

void CDevConfigDlg::Open(AppDevice* device, int channel) {
    quality_->setCurrentIndex(-1);
    resolution_->setCurrentIndex(-1);
    bit_rate_->setCurrentIndex(-1);
    frame_rate_->setText(QStringLiteral("0"));
    SetStatus(AppProfile::Translate(QStringLiteral("Getting Device Config...")));
    show();
    raise();
    activateWindow();
    device_ = device;
    channel_ = channel;
    for (const int code : {config_values::kReadQuality, config_values::kReadBitRate,
                           config_values::kReadResolution, config_values::kReadFrameRate}) {
        Send(code, 0);
    }
}

void CDevConfigDlg::Result(int code, AppOperation* operation) {
    int channel = 0, value = 0;
    if (VelqOpt_GetControlResult(operation, &channel, &value, nullptr) == 0 || channel != channel_) return;
    switch (code) {
        case config_values::kReadResolution:
            resolution_->setCurrentIndex(config_values::PositionOfValue(value, resolution_->count()));
            break;
        case config_values::kReadFrameRate:
            frame_rate_->setText(QString::number(value));
            SetStatus(AppProfile::Translate(QStringLiteral("Get Device Config Completed!")));
            break;
        case config_values::kWriteFrameRate:
            SetStatus(AppProfile::Translate(QStringLiteral("Set Device Config Completed!")));
            break;
        case config_values::kReadQuality:
            quality_->setCurrentIndex(config_values::PositionOfValue(value, quality_->count()));
            break;
        case config_values::kReadBitRate:
            bit_rate_->setCurrentIndex(config_values::BitRatePositionOf(value));
            break;
        default:
            break;
    }
}

void CDevConfigDlg::SetStatus(const QString& text) {
    status_->setText(text);
}

QString CDevConfigDlg::status() const {
    return status_->text();
}

void CDevConfigDlg::Command(int control_id, int code) {
    if (device_ != nullptr) {
        const AppSettings& settings = settings_;
        const int32_t preset = ParseDigits(preset_->text(), kMaxPreset).value_or(0);
        const auto value = camera_rule_.ValueFor(control_id, code, preset,
                                                 {settings.Ptz_Speed, settings.Ptz_Laser, settings.Ptz_Spot});
        if (value) Send(config_values::kCameraControl, *value);
    }
    if (code != 0) return;
    switch (control_id) {
        case kApply:
            Apply();
            break;
        case kSave:
            // Stays open only when a write could not be queued, so the operator sees the status line.
            if (Apply()) hide();
            break;
        case kClose:
            Close();
            break;
        case kRefresh:
            if (device_ != nullptr) Open(device_, channel_);
            break;
        default:
            break;
    }
}

bool CDevConfigDlg::Apply() {
    if (device_ == nullptr) return false;
    SetStatus(AppProfile::Translate(QStringLiteral("Setting Device Config...")));
    bool sent = true;
    if (quality_->currentIndex() >= 0)
        sent &= Send(config_values::kWriteQuality, config_values::PositionValue(quality_->currentIndex()));
    // A frame rate out of range is refused on its own: the message, and nothing sent for it, while the
    // other settings still go. A number too long for 32 bits is as invalid as 0 or 31, never wrapped.
    const int32_t frame_rate = ParseDigits(frame_rate_->text()).value_or(0);
    const bool frame_rate_valid =
        frame_rate >= config_values::kMinFrameRate && frame_rate <= config_values::kMaxFrameRate;
    const QString refused = AppProfile::Translate(QStringLiteral("Please input valid FrameRate: 1 ~ 30!"));
    if (frame_rate_valid)
        sent &= Send(config_values::kWriteFrameRate, frame_rate);  // its result (132) ends the status
    else
        ShowMessage(this, refused);
    if (bit_rate_->currentIndex() >= 0)
        sent &= Send(config_values::kWriteBitRate, config_values::BitRateValue(bit_rate_->currentIndex()));
    if (resolution_->currentIndex() >= 0)
        sent &=
            Send(config_values::kWriteResolution, config_values::PositionValue(resolution_->currentIndex()));
    // The library refused to queue a write (logged out, say): no result will come for it. Without a frame
    // rate sent no result ends the status either: it says why.
    if (!sent)
        SetStatus(AppProfile::Translate(QStringLiteral("Operate Failed")));
    else if (!frame_rate_valid)
        SetStatus(refused);
    return sent;
}

void CDevConfigDlg::Close() {
    // Hidden first: a held button reports its release on hiding, and that release must still reach the
    // device as its Stop, or the camera keeps moving unattended.
    hide();
    device_ = nullptr;
    channel_ = 0;
}

void CDevConfigDlg::reject() {
    Close();
}

bool CDevConfigDlg::Send(int code, int value) {
    // The library refuses queries it cannot send (not logged in, a channel above the device's count).
    return VelqOpt_QueryControl(device_, code, channel_, value, 0) != 0;
}
