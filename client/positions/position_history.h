// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's position history: takes every position sentence the session reports, of every listed
// vehicle, and hands it to the store (which writes it off the UI thread). Its settings are ours, in
// Tavrin.ini: PositionHistoryDays (30) and PositionHistoryMaxMiB (1024); the file is positions.db in the
// program folder. Without a program folder nothing is kept.
//
// UI thread only (the store's events arrive queued as problemReported lines).
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <memory>

#include "positions/position_store.h"

class OwnSettings;

class PositionHistory : public QObject {
    Q_OBJECT
  public:
    static inline const QString kFileName = QStringLiteral("positions.db");
    static inline const QString kDaysKey = QStringLiteral("PositionHistoryDays");
    static inline const QString kMaxMiBKey = QStringLiteral("PositionHistoryMaxMiB");

    // The store's options from Tavrin.ini; the path is empty without a program folder.
    static PositionStoreOptions ReadOptions(OwnSettings& own, const QString& program_folder);

    // `options.on_event` is replaced: events come out as problemReported.
    explicit PositionHistory(PositionStoreOptions options, QObject* parent = nullptr);
    ~PositionHistory() override;

    // The vehicle list's row `row` holds `device_id` (a listing or a re-listing after login).
    void Listed(int row, const QString& device_id, const QString& label = QString());
    // A position sentence of the device in `row`, received now (`received_s`, seconds since 1970).
    // Rows never listed are ignored; invalid positions are not kept.
    void Received(int row, const QByteArray& sentence, int64_t received_s);
    // The label last listed for a device (for the replay's vehicle list), or empty.
    QString LabelOf(const QString& device_id) const { return labels_.value(device_id); }

    const QString& path() const { return path_; }
    PositionStore& store() { return *store_; }

  signals:
    // Something about the file the operator should know (untranslated English, plain text).
    void problemReported(const QString& line);

  private:
    QString path_;
    QHash<int, QString> device_of_row_;
    QHash<QString, QString> labels_;
    std::unique_ptr<PositionStore> store_;
};
