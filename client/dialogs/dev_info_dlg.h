// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDevInfoDlg: adds a device to the logged-in user's devices, or changes the vehicle id (with its
// optional province) and driver name of one. Modeless, created once by the main window and hidden between
// uses. The new device reaches the tree when the library reports the completed add operation. UI thread
// only.
#include <QDialog>
#include <QStringList>

#include "app/app_settings.h"
#include "corvel/corvel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class CDevInfoDlg : public QDialog {
    Q_OBJECT
  public:
    // `session` is the main window's library session (it outlives the dialog); `provinces` the province
    // list (language file, then settings file), read once.
    CDevInfoDlg(const AppSettings& settings, AppSession* session, QStringList provinces,
                QWidget* parent = nullptr);

    // Prepares the dialog for adding (null) or for modifying `device`; the caller shows it.
    void Open(AppDevice* device);

    AppDevice* device() const { return device_; }
    const QStringList& provinces() const { return provinces_; }
    QLineEdit* deviceIdEdit() const { return device_id_; }
    QLineEdit* vehicleIdEdit() const { return vehicle_id_; }
    QLineEdit* driverEdit() const { return driver_; }
    QCheckBox* provinceCheck() const { return province_check_; }
    QComboBox* provinceList() const { return province_list_; }
    QComboBox* channelCountList() const { return channel_count_; }
    QPushButton* okButton() const { return ok_; }

  private:
    const AppSettings& settings_;  // the application's, outlives the dialog
    void Accept();
    // Vehicle id and driver name into the device, then the modify query; false (with its message) when
    // the query could not be sent.
    bool WriteVehicleAndDriver(AppDevice* device);

    AppSession* session_;
    QStringList provinces_;
    AppDevice* device_ = nullptr;
    QLineEdit* device_id_ = nullptr;
    QLineEdit* vehicle_id_ = nullptr;
    QLineEdit* driver_ = nullptr;
    QCheckBox* province_check_ = nullptr;
    QComboBox* province_list_ = nullptr;
    QComboBox* channel_count_ = nullptr;
    QPushButton* ok_ = nullptr;
};
