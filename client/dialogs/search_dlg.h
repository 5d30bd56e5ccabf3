// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSearchDlg: the "Playback" panel of the main window's left column. The operator picks a vehicle and,
// optionally, a start and an end time; Search builds the address of the center server's playback page
// and hands it to the opener (the map view; the system browser until one is set). The vehicle list owns
// the devices the library announces for it (event 145) and gives each back exactly once, when the next
// list begins (event 144). UI thread only.
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/app_settings.h"
#include "corvel/corvel.h"
#include "dialogs/vehicle_choice_model.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QPushButton;
class SettingsStore;

class CSearchDlg : public QWidget {
    Q_OBJECT
  public:
    // `settings` and `store` outlive the panel: the provinces and the center's address come from the store.
    CSearchDlg(const AppSettings& settings, const SettingsStore& store, QWidget* parent = nullptr);

    // Event 144: a vehicle list of `count` begins; every listed device is given back. The entries stay on
    // show (without devices) until the new list is complete; a count of 0 empties the list.
    void VehicleListBegin(int count);
    // Event 145: one vehicle, "device id - label" with the device as its data. The list is sorted once
    // and shown when all `count` vehicles are in (or kLateListMs after the last when fewer come), and
    // rebuilt only when its texts changed.
    void AddVehicle(AppDevice* device);
    // Search: the playback address of the selected vehicle and the checked times, handed to the opener;
    // nothing without a selection (none is made for the operator) and, with a message, nothing when the
    // end time lies before the start time. Returns the address (empty when nothing was opened).
    QString Search();
    // Where Search sends its address; by default the system's browser.
    void SetOpener(std::function<void(const QString& address)> opener) { opener_ = std::move(opener); }

    int vehicleCount() const;
    QComboBox* vehicleList() const { return vehicles_; }
    QCheckBox* startCheck() const { return start_check_; }
    QCheckBox* endCheck() const { return end_check_; }
    QDateTimeEdit* startPicker() const { return start_; }
    QDateTimeEdit* endPicker() const { return end_; }
    QPushButton* searchButton() const { return search_; }

  signals:
    // A vehicle list is complete and shown with its devices.
    void vehiclesListed();

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    const AppSettings& settings_;  // the application's, outlives the dialog
    const SettingsStore& store_;
    static constexpr int kLateListMs = 300;
    void ApplyPending();
    QWidget* MakeTimeGroup(const QString& title, QCheckBox** check, QDateTimeEdit** picker,
                           const QTime& time);

    QComboBox* vehicles_ = nullptr;
    VehicleChoiceModel* choices_ = nullptr;  // the combo box's model, a child of it
    QCheckBox* start_check_ = nullptr;
    QCheckBox* end_check_ = nullptr;
    QDateTimeEdit* start_ = nullptr;
    QDateTimeEdit* end_ = nullptr;
    QPushButton* search_ = nullptr;
    QStringList provinces_;
    std::vector<VehicleChoiceModel::Entry> pending_;  // the list arriving, owned until applied
    size_t expected_ = 0;
    QTimer apply_timer_;
    std::function<void(const QString&)> opener_;
};
