// SPDX-License-Identifier: GPL-3.0-or-later
#include "positions/position_history.h"

#include <QMetaObject>

#include "app/own_settings.h"

namespace {

constexpr int kMaxRows = 1 << 20;  // beyond this a row is no row of a real fleet

QString Describe(const PositionStoreEvent& event) {
    using Kind = PositionStoreEvent::Kind;
    switch (event.kind) {
        case Kind::kSetAside:
            return QStringLiteral("Position history %1 could not be used (%2); set aside as %3")
                .arg(event.path, event.detail, event.aside);
        case Kind::kUnusable:
            return QStringLiteral(
                       "Position history %1 could not be used (%2); positions are not kept for now")
                .arg(event.path, event.detail);
        case Kind::kLocked:
            return QStringLiteral("Position history %1 is locked by another program (%2); waiting")
                .arg(event.path, event.detail);
        case Kind::kWriteFailed:
            return QStringLiteral("Position history %1: positions could not be written (%2)")
                .arg(event.path, event.detail);
        case Kind::kWriteRecovered:
            return QStringLiteral("Position history %1 is written again").arg(event.path);
    }
    return {};
}

}  // namespace

PositionStoreOptions PositionHistory::ReadOptions(OwnSettings& own, const QString& program_folder) {
    PositionStoreOptions options;
    if (!program_folder.isEmpty()) options.path = program_folder + kFileName;
    options.keep_days = qBound(1, own.ReadInt(kDaysKey, 30), 36500);
    options.max_bytes = int64_t(qBound(16, own.ReadInt(kMaxMiBKey, 1024), 1024 * 1024)) << 20;
    return options;
}

PositionHistory::PositionHistory(PositionStoreOptions options, QObject* parent)
    : QObject(parent), path_(options.path) {
    // Called on the writer thread, which ends (with the store, a member) before this object does: the
    // line is queued to the UI thread, where Qt drops it if this object is gone by then.
    options.on_event = [this](const PositionStoreEvent& event) {
        QMetaObject::invokeMethod(
            this, [this, line = Describe(event)] { emit problemReported(line); }, Qt::QueuedConnection);
    };
    store_ = std::make_unique<PositionStore>(std::move(options));
}

PositionHistory::~PositionHistory() = default;

void PositionHistory::Listed(int row, const QString& device_id, const QString& label) {
    if (row < 0 || row >= kMaxRows || device_id.isEmpty()) return;
    device_of_row_.insert(row, device_id);
    if (!label.isEmpty()) labels_.insert(device_id, label);
}

void PositionHistory::Received(int row, const QByteArray& sentence, int64_t received_s) {
    const auto device = device_of_row_.constFind(row);
    if (device == device_of_row_.cend()) return;
    if (std::optional<PositionFix> fix = FixFromSentence(device.value(), sentence, received_s))
        store_->Add(std::move(*fix));
}
