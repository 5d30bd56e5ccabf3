// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/search_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/app_profile.h"
#include "dialogs/playback_address.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"

namespace {

constexpr int kDeviceIdBytes = 64;
constexpr int kMaxIdChars = 96;

}  // namespace

CSearchDlg::CSearchDlg(const AppSettings& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
    if (AppProfile::Current()) provinces_ = AppProfile::Current()->Provinces();
    opener_ = [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); };
    QPalette colours = palette();
    colours.setColor(QPalette::Window, AppSettings::Color(settings.ChildBkColor));
    colours.setColor(QPalette::WindowText, AppSettings::Color(settings.TextColor));
    setPalette(colours);
    setAutoFillBackground(true);

    vehicles_ = new QComboBox;
    vehicles_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* vehicle_group = new QGroupBox(AppProfile::Translate(QStringLiteral("Car Name/ID")));
    (new QVBoxLayout(vehicle_group))->addWidget(vehicles_);
    search_ = new QPushButton(AppProfile::Translate(QStringLiteral("Search")));
    connect(search_, &QPushButton::clicked, this, [this] { Search(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 7, 7, 7);
    layout->addWidget(MakeTimeGroup(AppProfile::Translate(QStringLiteral("Start DateTime")), &start_check_,
                                    &start_, QTime(0, 0, 0)));
    layout->addWidget(MakeTimeGroup(AppProfile::Translate(QStringLiteral("End DateTime")), &end_check_, &end_,
                                    QTime(23, 59, 59)));
    layout->addWidget(vehicle_group);
    layout->addWidget(search_);
    layout->addStretch(1);
}

QWidget* CSearchDlg::MakeTimeGroup(const QString& title, QCheckBox** check, QDateTimeEdit** picker,
                                   const QTime& time) {
    auto* group = new QGroupBox(title);
    *check = new QCheckBox;
    (*check)->setChecked(true);
    *picker = new QDateTimeEdit(QDateTime(QDate::currentDate(), time));
    (*picker)->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    (*picker)->setCalendarPopup(true);
    connect(*check, &QCheckBox::toggled, *picker, &QWidget::setEnabled);
    auto* row = new QHBoxLayout(group);
    row->addWidget(*check);
    row->addWidget(*picker, 1);
    return group;
}

int CSearchDlg::vehicleCount() const {
    return vehicles_->count();
}

void CSearchDlg::VehicleListBegin(int /*count*/) {
    // Taken out of the list first, so that nothing can reach a device after it went back.
    QList<AppDevice*> devices;
    for (int i = 0; i < vehicles_->count(); ++i)
        devices << static_cast<AppDevice*>(vehicles_->itemData(i).value<void*>());
    vehicles_->clear();
    for (AppDevice* device : devices) VelqDev_Release(device);
}

void CSearchDlg::AddVehicle(AppDevice* device) {
    if (device == nullptr) return;
    const QString label =
        DevTree::LabelFor(DeviceText(device, VELQ_DEV_TEXT1, 32), provinces_, settings_.ProvinceOffset);
    const QString text =
        DeviceText(device, VELQ_DEV_ID, kDeviceIdBytes).left(kMaxIdChars) + QStringLiteral(" - ") + label;
    int row = 0;
    while (row < vehicles_->count() && QString::localeAwareCompare(vehicles_->itemText(row), text) <= 0)
        ++row;
    vehicles_->insertItem(row, text, QVariant::fromValue(static_cast<void*>(device)));
    if (vehicles_->currentIndex() < 0) vehicles_->setCurrentIndex(0);
}

QString CSearchDlg::Search() {
    if (vehicles_->currentIndex() < 0) return {};
    auto* device = static_cast<AppDevice*>(vehicles_->currentData().value<void*>());
    const AppSettings& settings = settings_;
    const QString host =
        AppProfile::ReadString(QStringLiteral("CenterServer_Address"), AppSettings::kDefaultCenterAddress);
    const QString address = BuildPlaybackAddress(
        host, settings.Playback_WebPage, DeviceText(device, VELQ_DEV_ID, kDeviceIdBytes),
        start_check_->isChecked() ? std::optional<QDateTime>(start_->dateTime()) : std::nullopt,
        end_check_->isChecked() ? std::optional<QDateTime>(end_->dateTime()) : std::nullopt);
    if (opener_) opener_(address);
    return address;
}

void CSearchDlg::mousePressEvent(QMouseEvent* event) {
    // Pressing the panel's background drags the main window, as its caption would.
    if (event->button() == Qt::LeftButton && window()->windowHandle()) {
        window()->windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}
