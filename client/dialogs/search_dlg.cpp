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
#include <utility>

#include "app/app_profile.h"
#include "app/settings_store.h"
#include "dialogs/message_box.h"
#include "dialogs/playback_address.h"
#include "dialogs/vehicle_choice_model.h"
#include "dialogs/vehicle_sort.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"

namespace {

constexpr int kDeviceIdBytes = 64;
constexpr int kMaxIdChars = 96;

}  // namespace

CSearchDlg::CSearchDlg(const AppSettings& settings, const SettingsStore& store, QWidget* parent)
    : QWidget(parent), settings_(settings), store_(store) {
    provinces_ = store.provinces();
    opener_ = [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); };
    QPalette colours = palette();
    colours.setColor(QPalette::Window, AppSettings::Color(settings.ChildBkColor));
    colours.setColor(QPalette::WindowText, AppSettings::Color(settings.TextColor));
    setPalette(colours);
    setAutoFillBackground(true);

    apply_timer_.setSingleShot(true);
    apply_timer_.setInterval(kLateListMs);
    connect(&apply_timer_, &QTimer::timeout, this, [this] { ApplyPending(); });
    vehicles_ = new QComboBox;
    choices_ = new VehicleChoiceModel(vehicles_);
    vehicles_->setModel(choices_);
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

void CSearchDlg::VehicleListBegin(int count) {
    // Every device goes back now, so nothing can reach a device after it went back; the texts stay on
    // show until the new list is complete, and an unchanged list is not rebuilt (the panel asks for the
    // list each time it is shown).
    for (const VehicleChoiceModel::Entry& vehicle : std::exchange(pending_, {}))
        VelqDev_Release(vehicle.device);
    for (AppDevice* device : choices_->TakeDevices()) VelqDev_Release(device);
    expected_ = qMax(0, count);
    apply_timer_.stop();
    if (expected_ == 0) choices_->Replace({});
}

void CSearchDlg::AddVehicle(AppDevice* device) {
    if (device == nullptr) return;
    const QString label =
        DevTree::LabelFor(DeviceText(device, VELQ_DEV_TEXT1, 32), provinces_, settings_.ProvinceOffset);
    const QString text =
        DeviceText(device, VELQ_DEV_ID, kDeviceIdBytes).left(kMaxIdChars) + QStringLiteral(" - ") + label;
    pending_.push_back({text, device});
    // A list that announced more than arrives is shown as it is a moment after its last vehicle.
    if (pending_.size() >= expected_)
        ApplyPending();
    else
        apply_timer_.start();
}

void CSearchDlg::ApplyPending() {
    apply_timer_.stop();
    std::vector<VehicleChoiceModel::Entry> list = std::exchange(pending_, {});
    SortVehicleTexts(list, [](const VehicleChoiceModel::Entry& v) -> const QString& { return v.text; });
    // The operator's choice stays chosen when it is still listed; nothing is chosen for them.
    const QString chosen = vehicles_->currentText();
    if (choices_->Replace(std::move(list)))
        vehicles_->setCurrentIndex(chosen.isEmpty() ? -1 : vehicles_->findText(chosen, Qt::MatchExactly));
    emit vehiclesListed();
}

QString CSearchDlg::Search() {
    if (vehicles_->currentIndex() < 0) return {};
    auto* device = static_cast<AppDevice*>(vehicles_->currentData().value<void*>());
    if (device == nullptr) return {};  // a new list is still arriving
    const bool start_on = start_check_->isChecked(), end_on = end_check_->isChecked();
    if (start_on && end_on && end_->dateTime() < start_->dateTime()) {
        ShowMessage(this, AppProfile::Translate(QStringLiteral("The end time is before the start time")));
        return {};
    }
    const AppSettings& settings = settings_;
    const QString host = store_.centerAddress();
    const QString address =
        BuildPlaybackAddress(host, settings.Playback_WebPage, DeviceText(device, VELQ_DEV_ID, kDeviceIdBytes),
                             start_on ? std::optional<QDateTime>(start_->dateTime()) : std::nullopt,
                             end_on ? std::optional<QDateTime>(end_->dateTime()) : std::nullopt);
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
