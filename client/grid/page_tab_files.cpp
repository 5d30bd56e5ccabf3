// SPDX-License-Identifier: GPL-3.0-or-later
// The grid's page files: Save Page and Load Page.
#include <QFileInfo>

#include "app/settings_store.h"
#include "corvel/corvel.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_file.h"
#include "grid/page_tab.h"

namespace {

bool SameFile(const QString& a, const QString& b) {
    const QFileInfo first(a), second(b);
    if (first.exists() && second.exists()) return first.canonicalFilePath() == second.canonicalFilePath();
    return first.absoluteFilePath() == second.absoluteFilePath();
}

}  // namespace

bool PageTab::SavePageFile(const QString& path) {
    // A page file keeps the other content of the file it is written into: written into the settings
    // file it would add sections there. The settings file is never a page file.
    if (const QString settings_file = store_.settingsFile();
        !settings_file.isEmpty() && SameFile(path, settings_file))
        return false;
    PageFileContent content;
    content.pageName = model_->PageNames().value(model_->CurrentPage());
    content.rows = model_->Rows();
    content.cols = model_->Cols();
    content.liveCount = model_->BoundCount();
    const auto& windows = model_->Windows();
    for (int i = 0; i < model_->BoundCount(); ++i) {
        const GridSlot* w = windows[i];
        if (!w->channel_item || !w->channel_item->parent()) continue;
        PageFileEntry entry;
        entry.index = i + 1;
        char id[64] = {};
        if (w->device && VelqDev_GetDevInfo(w->device, VELQ_DEV_ID, id, sizeof(id)) > 0)
            entry.deviceId = QByteArray(id);
        entry.vehicleId = w->channel_item->parent()->text(0);
        entry.channel = w->channel_item->data(0, Qt::UserRole).toInt();
        content.entries.push_back(entry);
    }
    return WritePageFile(path, content);
}

bool PageTab::LoadPageFile(const QString& path) {
    QString problem;
    const std::optional<PageFileContent> content = ReadPageFile(path, &problem);
    if (!content) {
        if (!problem.isEmpty()) owner_->AddLogLine(problem);
        return false;
    }
    std::vector<QTreeWidgetItem*> nodes;
    for (const PageFileEntry& entry : content->entries) {
        if (QTreeWidgetItem* node = owner_->FindChannelNode(entry.deviceId, entry.channel))
            nodes.push_back(node);
    }
    return model_->PlaceLoadedChannels(nodes, content->rows, content->cols);
}
