// SPDX-License-Identifier: GPL-3.0-or-later
#include "geofence/geofence_dlg.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "geofence/geofence_keeper.h"

std::optional<double> LimitOf(double value_kmh) {
    return value_kmh > 0 ? std::optional<double>(value_kmh) : std::nullopt;
}

ZoneNameDlg::ZoneNameDlg(GeoZone zone, GeofenceKeeper& keeper, const Translator& translate, QWidget* parent)
    : QDialog(parent), zone_(std::move(zone)), keeper_(keeper) {
    setWindowTitle(translate(QStringLiteral("Geofence")));
    name_ = new QLineEdit(this);
    name_->setMaxLength(GeoZone::kMaxNameChars);
    limit_ = new QDoubleSpinBox(this);
    limit_->setRange(0, GeoZone::kMaxLimitKmh);
    limit_->setDecimals(0);
    limit_->setSpecialValueText(translate(QStringLiteral("No limit")));
    auto* form = new QFormLayout;
    form->addRow(translate(QStringLiteral("Zone name")), name_);
    form->addRow(translate(QStringLiteral("Speed limit (km/h)")), limit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(translate(QStringLiteral("Save")));
    buttons->button(QDialogButtonBox::Cancel)->setText(translate(QStringLiteral("Cancel")));
    connect(buttons, &QDialogButtonBox::accepted, this, &ZoneNameDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ZoneNameDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void ZoneNameDlg::accept() {
    GeoZone zone = zone_;
    zone.name = name_->text().trimmed();
    zone.limit_kmh = LimitOf(limit_->value());
    if (!keeper_.Add(zone)) {
        name_->setFocus();
        return;
    }
    QDialog::accept();
}

GeofenceListDlg::GeofenceListDlg(GeofenceKeeper& keeper, const Translator& translate, QWidget* parent)
    : QDialog(parent), keeper_(keeper), translate_(translate) {
    setWindowTitle(translate(QStringLiteral("Geofences")));
    list_ = new QListWidget(this);
    list_->setAccessibleName(windowTitle());
    auto* rename = new QPushButton(translate(QStringLiteral("Rename")), this);
    auto* remove = new QPushButton(translate(QStringLiteral("Delete")), this);
    auto* close = new QPushButton(translate(QStringLiteral("Close")), this);
    connect(rename, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row < 0 || row >= keeper_.zones().size()) return;
        bool ok = false;
        const QString name =
            QInputDialog::getText(this, windowTitle(), translate_(QStringLiteral("Zone name")),
                                  QLineEdit::Normal, keeper_.zones()[row].name, &ok);
        if (ok) RenameSelected(name);
    });
    connect(remove, &QPushButton::clicked, this, &GeofenceListDlg::DeleteSelected);
    connect(close, &QPushButton::clicked, this, &GeofenceListDlg::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(rename);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    connect(&keeper_, &GeofenceKeeper::zonesChanged, this, &GeofenceListDlg::Fill);
    Fill();
    resize(420, 300);
}

void GeofenceListDlg::Fill() {
    const int row = list_->currentRow();
    list_->clear();
    for (const GeoZone& zone : keeper_.zones()) {
        QString line = zone.name + QStringLiteral("  \u2014  ");
        line += zone.shape == GeoZone::Shape::kCircle
                    ? QStringLiteral("\u25EF %1 m").arg(zone.radius_m, 0, 'f', 0)
                    : QStringLiteral("\u2B20 %1").arg(zone.ring.size());
        if (zone.limit_kmh) line += QStringLiteral(", \u2264 %1 km/h").arg(*zone.limit_kmh, 0, 'f', 0);
        list_->addItem(line);
    }
    list_->setCurrentRow(std::min(row, list_->count() - 1));
}

void GeofenceListDlg::RenameSelected(const QString& name) {
    keeper_.Rename(list_->currentRow(), name.trimmed());
}

void GeofenceListDlg::DeleteSelected() {
    keeper_.Remove(list_->currentRow());
}
