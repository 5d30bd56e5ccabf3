// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/fleet_presenter.h"

#include <QDateTime>
#include <QTreeWidgetItem>
#include <cmath>

#include "app/app_profile.h"
#include "app/session_controller.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"
#include "fleet/device_status_list.h"

FleetPresenter::FleetPresenter(DevTree& tree, DeviceStatusList& list, LogLine log, QObject* parent)
    : QObject(parent), tree_(tree), list_(list), log_(std::move(log)), silence_check_(new QTimer(this)) {
    silence_check_->setInterval(1000);
    connect(silence_check_, &QTimer::timeout, this, &FleetPresenter::CheckCenterSilence);
}

void FleetPresenter::Follow(SessionController& session) {
    connect(&session.events(), &EventDispatch::deviceAdded, this, &FleetPresenter::AddDevice);
    connect(&session.events(), &EventDispatch::deviceStateChanged, this, &FleetPresenter::SetDeviceState);
    connect(&session.events(), &EventDispatch::statusWordChanged, this, &FleetPresenter::ReportAlarm);
    connect(&session.events(), &EventDispatch::positionResult, this, &FleetPresenter::PositionResult);
    connect(&session.events(), &EventDispatch::connectionState, this,
            [this](int code, qintptr) { ConnectionState(code); });
    connect(&session, &SessionController::sliceHandled, this, &FleetPresenter::Flush);
    // What only the center's replies bring: the status list every 5 s (event 128) above all, and the
    // answers of requests that may hold it back while they are queued.
    connect(&session.events(), &EventDispatch::deviceAdded, this, &FleetPresenter::CenterAnswered);
    connect(&session.events(), &EventDispatch::deviceStateChanged, this, &FleetPresenter::CenterAnswered);
    connect(&session.events(), &EventDispatch::listBegins, this, &FleetPresenter::CenterAnswered);
    connect(&session.events(), &EventDispatch::statusWordChanged, this, &FleetPresenter::CenterAnswered);
    connect(&session.events(), &EventDispatch::vehicleListBegins, this, &FleetPresenter::CenterAnswered);
    connect(&session.events(), &EventDispatch::positionResult, this, &FleetPresenter::CenterAnswered);
    connect(&session.events(), &EventDispatch::configResult, this, &FleetPresenter::CenterAnswered);
}

QString FleetPresenter::SpeedCell(bool valid, double speed_kmh, const QByteArray& sentence) {
    if (valid) return QString::asprintf("%.2f km/h", speed_kmh);
    if (sentence.contains("$GPRMC")) return AppProfile::Translate(QStringLiteral("GPS invalid"));
    return AppProfile::Translate(QStringLiteral("GPS not valid"));
}

bool FleetPresenter::ValidPosition(const QByteArray& sentence, double* speed_kmh) {
    double latitude = 0, longitude = 0, speed = 0;
    if (!VelqApp_GPRMC(sentence.constData(), &latitude, &longitude, &speed, nullptr)) return false;
    if (!(std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0)) return false;
    if (speed_kmh) *speed_kmh = speed;
    return true;
}

void FleetPresenter::Store(int row, int column, const QString& text) {
    if (!list_.StoreCell(row, column, text)) return;
    dirty_first_ = dirty_first_ < 0 ? row : std::min(dirty_first_, row);
    dirty_last_ = std::max(dirty_last_, row);
}

void FleetPresenter::Flush() {
    if (dirty_first_ < 0) return;
    list_.ReportRows(dirty_first_, dirty_last_);
    dirty_first_ = dirty_last_ = -1;
}

void FleetPresenter::ShowRow(const DevTreeEntry& record, int online, int previous) {
    const int row = VelqDev_GetUserData(record.device);
    const QString name = record.item ? record.item->text(0) : QString();
    if (row >= list_.rowCount())
        list_.SetRowName(row, name);
    else
        Store(row, 0, name);
    Store(row, 1, DeviceText(record.device, VELQ_DEV_TEXT2, 32));
    if (online != 0) {
        const QByteArray sentence = DeviceBytes(record.device, VELQ_DEV_POSITION, 128);
        double speed_kmh = 0;
        const bool valid = ValidPosition(sentence, &speed_kmh);
        emit positionReported(row, sentence);
        Store(row, 2, SpeedCell(valid, speed_kmh, sentence));
        int32_t when = 0;
        if (VelqDev_GetDevInfo(record.device, VELQ_DEV_LAST_REPORT, &when, sizeof(when)) == 4 && when != 0)
            Store(row, 3,
                  QDateTime::fromSecsSinceEpoch(uint32_t(when))
                      .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    const QString id = DeviceText(record.device, VELQ_DEV_ID, 64);
    emit vehicleShown(row, name, id, list_.Cell(row, 1), online != 0);
    if (online == previous) return;
    const QString device_part = u'[' + id + QStringLiteral(" - ") + name + QStringLiteral("] ");
    if (online != 0) {
        const QString time = list_.Cell(row, 3);
        log_(&time, device_part + AppProfile::Translate(QStringLiteral("Online")));
    } else {
        log_(nullptr, device_part + AppProfile::Translate(QStringLiteral("Offline")));
    }
}

void FleetPresenter::AddDevice(AppDevice* device, int online_allowed) {
    const int row = tree_.AddDevice(device, online_allowed);
    const DevTreeEntry* record = tree_.Entry(row);
    if (!record) return;
    ShowRow(*record, record->online, -1);
    emit deviceListed(VelqDev_GetUserData(device), DeviceText(device, VELQ_DEV_ID, 64));
}

void FleetPresenter::SetDeviceState(int online, AppDevice* device) {
    const DevTreeEntry* record = tree_.Entry(VelqDev_GetUserData(device));
    if (!record || record->device != device) return;  // not a device of this tree
    const int previous = record->online;
    tree_.SetDeviceState(online, device);
    ShowRow(*record, online, previous);
}

void FleetPresenter::ReportAlarm(AppDevice* device, int code) {
    tree_.ReportAlarm(device, code);
    if (code < 8 || code > 15) return;
    const int row = VelqDev_GetUserData(device);
    const DevTreeEntry* record = tree_.Entry(row);
    int32_t when = 0;
    if (VelqDev_GetDevInfo(device, VELQ_DEV_LAST_REPORT, &when, sizeof(when)) != 4 || when == 0)
        when = int32_t(QDateTime::currentSecsSinceEpoch());
    emit statusWordActive(row, DeviceText(device, VELQ_DEV_ID, 64),
                          record && record->item ? record->item->text(0) : QString(), code, uint32_t(when));
}

void FleetPresenter::PositionResult(AppOperation* operation, AppDevice* device) {
    if (!device) return;
    const int row = VelqDev_GetUserData(device);
    const auto* data = static_cast<const char*>(VelqOpt_GetGPSResult(operation));
    const QByteArray sentence = data ? QByteArray(data, int(qstrnlen(data, 256))) : QByteArray();
    double speed_kmh = 0;
    const bool valid = ValidPosition(sentence, &speed_kmh);
    emit positionReported(row, sentence);
    Store(row, 2,
          valid ? QString::asprintf("%.2f km/h", speed_kmh)
                : AppProfile::Translate(QStringLiteral("GPS not valid")));
}

void FleetPresenter::ConnectionState(int code) {
    // Checked from a login on, until the logout: an event of the old session that comes in late never
    // starts a count of its own.
    if (code == VELQ_EV_LOGIN_OK || code == VELQ_EV_LOGIN_VERSION) silence_check_->start();
    if (center_link_.OnConnectionState(code, QDateTime::currentDateTime())) {
        tree_.SetStatesUnknown(center_link_.down());
        list_.SetStatesUnknown(center_link_.down());
        if (center_link_.down()) log_(nullptr, center_link_.StatusText());
    }
    // The reconnection attempts' words do not hide that the center is still away.
    if (center_link_.down()) emit centerStatus(center_link_.StatusText());
}

void FleetPresenter::CenterAnswered() {
    if (center_link_.OnAnswer(QDateTime::currentDateTime())) ShowCenterChange();
}

void FleetPresenter::CheckCenterSilence() {
    if (center_link_.OnSilenceCheck(QDateTime::currentDateTime())) ShowCenterChange();
}

void FleetPresenter::ShowCenterChange() {
    tree_.SetStatesUnknown(center_link_.down());
    list_.SetStatesUnknown(center_link_.down());
    if (center_link_.down()) {
        log_(nullptr, center_link_.StatusText());
        emit centerStatus(center_link_.StatusText());
    } else {
        // Back without a new connection (the center answers again on the old one).
        emit centerStatus(AppProfile::Translate(QStringLiteral("Connected")));
    }
}

void FleetPresenter::Reset() {
    dirty_first_ = dirty_last_ = -1;
    tree_.DeleteAll();
    list_.DeleteAllItems();
    center_link_.Reset();
    silence_check_->stop();
}
