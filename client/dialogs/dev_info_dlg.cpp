// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dev_info_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "dialogs/config_values.h"
#include "dialogs/device_info_rules.h"
#include "dialogs/message_box.h"
#include "fleet/device_info.h"

namespace {

constexpr int kMaxDeviceIdChars = 63;
constexpr int kMaxNameChars = 31;

}  // namespace

CDevInfoDlg::CDevInfoDlg(const AppSettings& settings, AppSession* session, QStringList provinces,
                         QWidget* parent)
    : QDialog(parent), settings_(settings), session_(session), provinces_(std::move(provinces)) {
    device_id_ = new QLineEdit;
    device_id_->setMaxLength(kMaxDeviceIdChars);
    vehicle_id_ = new QLineEdit;
    vehicle_id_->setMaxLength(kMaxNameChars);
    driver_ = new QLineEdit;
    driver_->setMaxLength(kMaxNameChars);
    province_check_ = new QCheckBox;
    province_list_ = new QComboBox;
    province_list_->addItems(provinces_);
    channel_count_ = new QComboBox;
    for (const int32_t count : config_values::ChannelCounts())
        channel_count_->addItem(QString::number(count), count);
    channel_count_->setCurrentIndex(1);
    channel_count_->setEnabled(false);

    auto* vehicle_row = new QHBoxLayout;
    vehicle_row->addWidget(vehicle_id_, 1);
    vehicle_row->addWidget(province_check_);
    vehicle_row->addWidget(province_list_);
    auto* group = new QGroupBox(AppProfile::Translate(QStringLiteral("Device Information")));
    auto* form = new QFormLayout(group);
    form->addRow(AppProfile::Translate(QStringLiteral("(*) Device Id:")), device_id_);
    form->addRow(AppProfile::Translate(QStringLiteral("Vehicle Id:")), vehicle_row);
    form->addRow(AppProfile::Translate(QStringLiteral("Driver Name:")), driver_);
    form->addRow(AppProfile::Translate(QStringLiteral("(*) Channel Count:")), channel_count_);

    auto* buttons = new QDialogButtonBox;
    ok_ = buttons->addButton(AppProfile::Translate(QStringLiteral("Add")), QDialogButtonBox::AcceptRole);
    ok_->setDefault(true);
    buttons->addButton(AppProfile::Translate(QStringLiteral("Cancel")), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDevInfoDlg::Accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);

    // Without a province list there is no prefix to switch on.
    province_check_->setVisible(!provinces_.isEmpty());
    province_list_->setVisible(!provinces_.isEmpty());
    connect(province_check_, &QCheckBox::toggled, this, [this](bool checked) {
        province_list_->setEnabled(checked);
        if (!checked) province_list_->setCurrentIndex(-1);
    });
    Open(nullptr);
}

void CDevInfoDlg::Open(AppDevice* device) {
    device_ = device;
    if (device == nullptr) {
        device_id_->clear();
        vehicle_id_->clear();
        driver_->clear();
        channel_count_->setCurrentIndex(1);
        province_check_->setChecked(false);
        province_list_->setCurrentIndex(-1);
        province_list_->setEnabled(false);
        device_id_->setEnabled(true);
        ok_->setText(AppProfile::Translate(QStringLiteral("Add")));
        setWindowTitle(AppProfile::Translate(QStringLiteral("Add Device Dialog")));
        return;
    }
    device_id_->setText(DeviceText(device, VELQ_DEV_ID, 64));
    const device_info::VehicleId vehicle = device_info::SplitVehicleId(
        DeviceBytes(device, VELQ_DEV_TEXT1, device_info::kVehicleIdBytes), settings_.ProvinceOffset);
    vehicle_id_->setText(vehicle.plain);
    const bool has_province = vehicle.province_index != -1;
    province_check_->setChecked(has_province);
    province_list_->setEnabled(has_province);
    // An index outside the list leaves the list without a selection.
    province_list_->setCurrentIndex(vehicle.province_index < province_list_->count() ? vehicle.province_index
                                                                                     : -1);
    driver_->setText(DeviceText(device, VELQ_DEV_TEXT2, device_info::kDriverNameBytes));
    channel_count_->setCurrentIndex(
        config_values::ChannelCountPosition(DeviceInt(device, VELQ_DEV_CHANNELS)));
    device_id_->setEnabled(false);
    channel_count_->setEnabled(false);
    ok_->setText(AppProfile::Translate(QStringLiteral("Modify")));
    setWindowTitle(AppProfile::Translate(QStringLiteral("Modify Device Dialog")));
}

bool CDevInfoDlg::WriteVehicleAndDriver(AppDevice* device) {
    const int province = province_check_->isChecked() ? province_list_->currentIndex() : -1;
    QByteArray vehicle = device_info::ComposeVehicleId(vehicle_id_->text().left(kMaxNameChars), province,
                                                       settings_.ProvinceOffset);
    vehicle.resize(device_info::kVehicleIdBytes, '\0');
    VelqDev_SetDevInfo(device, VELQ_DEV_TEXT1, vehicle.constData(), device_info::kVehicleIdBytes);
    QByteArray driver =
        device_info::Utf8Within(driver_->text().left(kMaxNameChars), device_info::kDriverNameBytes - 1);
    driver.resize(device_info::kDriverNameBytes, '\0');
    VelqDev_SetDevInfo(device, VELQ_DEV_TEXT2, driver.constData(), device_info::kDriverNameBytes);
    if (VelqOpt_QueryModify(device) == 0) {
        ShowMessage(this, AppProfile::Translate(QStringLiteral("Please login before modify device!")));
        return false;
    }
    return true;
}

void CDevInfoDlg::Accept() {
    if (device_ != nullptr) {
        if (!WriteVehicleAndDriver(device_)) return;
        device_ = nullptr;
        hide();
        return;
    }
    const QString id = device_id_->text().left(kMaxDeviceIdChars);
    if (!device_info::IsValidDeviceId(id)) {
        ShowMessage(this, AppProfile::Translate(QStringLiteral("DeviceId size must be at 4 ~ 64")));
        return;
    }
    AppDevice* device = session_ ? VelqApp_CreateDevice(session_, id.toUtf8().constData()) : nullptr;
    if (device == nullptr) {
        ShowMessage(this, AppProfile::Translate(QStringLiteral("Please login before add device!")));
        return;
    }
    const int32_t count = channel_count_->currentData().toInt();
    VelqDev_SetDevInfo(device, VELQ_DEV_CHANNELS, &count, sizeof(count));
    if (!WriteVehicleAndDriver(device)) return;
    hide();
}
