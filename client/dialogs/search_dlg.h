#pragma once
// The "Playback" panel of the main window's left column. This first version lists the vehicles the
// center server reports for the panel; the search for recordings comes with the panel's own work.
#include <QListWidget>
#include <QWidget>

#include "corvel/corvel.h"

class CSearchDlg : public QWidget {
    Q_OBJECT
  public:
    explicit CSearchDlg(QWidget* parent = nullptr);

    // Event 144: a vehicle list begins (0 clears it).
    void VehicleListBegin(int count);
    // Event 145: one vehicle; the device is given back at once, its identifier kept.
    void AddVehicle(AppDevice* device);

    int vehicleCount() const { return list_->count(); }

  private:
    QListWidget* list_;
};
