// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSearchDlg: the "Playback" panel of the main window's left column. The operator picks a vehicle and,
// optionally, a start and an end time; Search builds the address of the center server's playback page
// and hands it to the opener (the map view; the system browser until one is set). The vehicle list owns
// the devices the library announces for it (event 145) and gives each back exactly once, when the next
// list begins (event 144). UI thread only.
#include <QWidget>
#include <functional>

#include "app/app_settings.h"
#include "corvel/corvel.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QPushButton;

class CSearchDlg : public QWidget {
    Q_OBJECT
  public:
    explicit CSearchDlg(const AppSettings& settings, QWidget* parent = nullptr);

    // Event 144: a vehicle list begins; every listed device is given back and the list emptied.
    void VehicleListBegin(int count);
    // Event 145: one vehicle, listed in order as "device id - label" with the device as its data.
    void AddVehicle(AppDevice* device);
    // Search: the playback address of the selected vehicle and the checked times, handed to the opener;
    // nothing without a selection. Returns the address (empty when nothing was opened).
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

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    const AppSettings& settings_;  // the application's, outlives the dialog
    QWidget* MakeTimeGroup(const QString& title, QCheckBox** check, QDateTimeEdit** picker,
                           const QTime& time);

    QComboBox* vehicles_ = nullptr;
    QCheckBox* start_check_ = nullptr;
    QCheckBox* end_check_ = nullptr;
    QDateTimeEdit* start_ = nullptr;
    QDateTimeEdit* end_ = nullptr;
    QPushButton* search_ = nullptr;
    QStringList provinces_;
    std::function<void(const QString&)> opener_;
};
