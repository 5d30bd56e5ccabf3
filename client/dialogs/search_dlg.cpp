#include "dialogs/search_dlg.h"

#include <QVBoxLayout>

CSearchDlg::CSearchDlg(QWidget* parent) : QWidget(parent), list_(new QListWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
}

void CSearchDlg::VehicleListBegin(int) {
    list_->clear();
}

void CSearchDlg::AddVehicle(AppDevice* device) {
    char id[64] = {};
    if (VelqDev_GetDevInfo(device, VELQ_DEV_ID, id, sizeof(id)) > 0) list_->addItem(QString::fromUtf8(id));
    VelqDev_Release(device);
}
