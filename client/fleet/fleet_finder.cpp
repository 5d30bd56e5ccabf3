// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/fleet_finder.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QResizeEvent>
#include <QVBoxLayout>

#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"

namespace {

// The tree's heading strip holding the finder: as tall as the finder wants, the finder over all of it.
class FinderHeader : public QHeaderView {
  public:
    FinderHeader(QWidget* bar, QWidget* parent) : QHeaderView(Qt::Horizontal, parent), bar_(bar) {
        bar_->setParent(this);
        setSectionsClickable(false);
        setStretchLastSection(true);
    }
    QSize sizeHint() const override {
        return QSize(QHeaderView::sizeHint().width(), bar_->sizeHint().height());
    }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QHeaderView::resizeEvent(event);
        bar_->setGeometry(rect());
    }
    void paintEvent(QPaintEvent*) override {}

  private:
    QWidget* bar_;
};

}  // namespace

FleetFinder::FleetFinder(DevTree& tree, DeviceStatusList& list, bool show_offline, const Texts& texts)
    : tree_(tree), list_(list) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("fleet_filter"));
    edit_->setPlaceholderText(texts.placeholder);
    // A placeholder is not read out as the field's name.
    edit_->setAccessibleName(texts.placeholder);
    edit_->setClearButtonEnabled(true);
    layout->addWidget(edit_);
    show_offline_ = new QCheckBox(texts.show_offline, this);
    show_offline_->setObjectName(QStringLiteral("show_offline"));
    show_offline_->setChecked(show_offline);
    layout->addWidget(show_offline_);
    filter_.SetShowOffline(show_offline);

    // The tree's colours (set later, from the settings) come down through the heading strip.
    setAutoFillBackground(true);
    auto* header = new FinderHeader(this, &tree);
    tree.setHeader(header);
    tree.setHeaderHidden(false);

    connect(edit_, &QLineEdit::textChanged, this, &FleetFinder::SetText);
    connect(show_offline_, &QCheckBox::toggled, this, [this](bool on) {
        SetShowOffline(on);
        emit showOfflineChanged(on);
    });
}

void FleetFinder::Apply(int row) {
    const bool shown = filter_.Shown(row);
    if (const DevTreeEntry* entry = tree_.Entry(row);
        entry && entry->item && entry->item->isHidden() == shown)
        entry->item->setHidden(!shown);
    list_.SetRowShown(row, shown);
}

void FleetFinder::UpdateVehicle(int row, const QString& vehicle_id, const QString& device_id,
                                const QString& driver, bool online) {
    filter_.SetVehicle(row, vehicle_id, device_id, driver, online);
    // A new row is shown by the views until told otherwise; an old one only when its state changed.
    Apply(row);
}

void FleetFinder::SetText(const QString& text) {
    if (edit_->text() != text) edit_->setText(text);  // comes back here through textChanged
    for (const int row : filter_.SetText(text)) Apply(row);
}

void FleetFinder::SetShowOffline(bool show) {
    if (show_offline_->isChecked() != show) {
        const QSignalBlocker quiet(show_offline_);
        show_offline_->setChecked(show);
    }
    for (const int row : filter_.SetShowOffline(show)) Apply(row);
}
