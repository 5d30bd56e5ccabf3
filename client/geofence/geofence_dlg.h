// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The geofence dialogs: naming a zone just drawn (name and optional speed limit), and the list of zones
// with rename and delete. Both work on the keeper they are given; UI thread only.
#include <QDialog>
#include <functional>
#include <optional>

#include "geofence/geo_zone.h"

class GeofenceKeeper;
class QDoubleSpinBox;
class QLineEdit;
class QListWidget;
class QPushButton;

using Translator = std::function<QString(const QString&)>;

// Asks for the name and limit of `zone`; OK adds it to the keeper (refused names keep the dialog open).
class ZoneNameDlg : public QDialog {
    Q_OBJECT
  public:
    ZoneNameDlg(GeoZone zone, GeofenceKeeper& keeper, const Translator& translate, QWidget* parent);
    QLineEdit* nameEdit() const { return name_; }
    QDoubleSpinBox* limitBox() const { return limit_; }
    void accept() override;

  private:
    GeoZone zone_;
    GeofenceKeeper& keeper_;
    QLineEdit* name_;
    QDoubleSpinBox* limit_;
};

// The zones, one line each, with rename and delete; follows the keeper's changes.
class GeofenceListDlg : public QDialog {
    Q_OBJECT
  public:
    GeofenceListDlg(GeofenceKeeper& keeper, const Translator& translate, QWidget* parent);
    QListWidget* list() const { return list_; }
    // The selected zone renamed / deleted (the buttons; tests call them with a name).
    void RenameSelected(const QString& name);
    void DeleteSelected();

  private:
    void Fill();

    GeofenceKeeper& keeper_;
    Translator translate_;
    QListWidget* list_;
};

// The limit box's value as a limit: 0 shows "No limit".
std::optional<double> LimitOf(double value_kmh);
