// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/workspace_keeper.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "fleet/device_info.h"
#include "grid/grid_model.h"
#include "grid/page_file.h"
#include "grid/page_tab.h"

WorkspaceKeeper::WorkspaceKeeper(PageTab& grid, const QString& program_folder)
    : grid_(grid), path_(program_folder + QLatin1String(kFileName)) {}

bool WorkspaceKeeper::HasFile() const {
    return QFileInfo(path_).isFile();
}

std::optional<QSize> WorkspaceKeeper::StoredSize() const {
    if (!HasFile()) return std::nullopt;
    QString problem;
    const std::optional<PageFileContent> content = ReadPageFile(path_, &problem);
    if (!content) return std::nullopt;
    return QSize(content->cols, content->rows);
}

QByteArray WorkspaceKeeper::Signature() const {
    const GridModel& model = grid_.Model();
    QByteArray signature = QByteArray::number(model.Rows()) + 'x' + QByteArray::number(model.Cols());
    const auto& windows = model.Windows();
    for (int i = 0; i < model.BoundCount(); ++i) {
        const GridSlot* slot = windows[size_t(i)];
        if (!slot->channel_item || !slot->device) continue;
        signature += '\n' + DeviceBytes(slot->device, VELQ_DEV_ID, 64) + ' ' +
                     QByteArray::number(slot->channel_item->data(0, Qt::UserRole).toInt());
    }
    return signature;
}

bool WorkspaceKeeper::SaveIfChanged() {
    const QByteArray now = Signature();
    if (now == saved_) return true;
    const QString fresh = path_ + QStringLiteral(".new");
    QFile::remove(fresh);
    if (!grid_.SavePageFile(fresh) ||
        std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path_).constData()) != 0) {
        QFile::remove(fresh);
        return false;
    }
    saved_ = now;
    return true;
}

void WorkspaceKeeper::MarkSaved() {
    saved_ = Signature();
}
