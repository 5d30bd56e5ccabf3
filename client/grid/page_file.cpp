// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/page_file.h"

#include "app/app_profile.h"
#include "app/profile_file.h"
#include "grid/grid_model.h"

namespace {

const QString kPageSection = QStringLiteral("PageConfig");

QString LiveSection(int n) {
    return QStringLiteral("LiveConfig %1").arg(n);
}

}  // namespace

bool WritePageFile(const QString& path, const PageFileContent& content) {
    ProfileFile file(path);
    bool ok = file.WriteString(kPageSection, QStringLiteral("Page_Name"), content.pageName);
    ok = ok && file.WriteString(kPageSection, QStringLiteral("Page_Row"), QString::number(content.rows));
    // Written with a lower-case c, as files of earlier versions have it; reading finds it in any case.
    ok = ok && file.WriteString(kPageSection, QStringLiteral("Page_col"), QString::number(content.cols));
    ok = ok &&
         file.WriteString(kPageSection, QStringLiteral("Page_LiveCount"), QString::number(content.liveCount));
    for (const PageFileEntry& entry : content.entries) {
        if (!ok) break;
        const QString section = LiveSection(entry.index);
        ok = file.WriteString(section, QStringLiteral("DeviceId"),
                              QString::fromUtf8(entry.deviceId.left(63))) &&
             file.WriteString(section, QStringLiteral("VehicleId"), entry.vehicleId) &&
             file.WriteString(section, QStringLiteral("Channel"), QString::number(entry.channel));
    }
    return ok;
}

std::optional<PageFileContent> ReadPageFile(const QString& path, QString* problem) {
    ProfileFile file(path);
    PageFileContent content;
    content.rows = file.ReadInt(kPageSection, QStringLiteral("Page_Row"), 0);
    content.cols = file.ReadInt(kPageSection, QStringLiteral("Page_Col"), 0);
    if (content.rows == 0 || content.cols == 0) {
        *problem = AppProfile::Translate(QStringLiteral("Load Page: the file gives no grid size")) +
                   QStringLiteral(": ") + path;
        return std::nullopt;
    }
    if (!GridModel::ValidSide(content.rows) || !GridModel::ValidSide(content.cols)) {
        *problem = AppProfile::Translate(QStringLiteral("Load Page: grid size out of range")) +
                   QStringLiteral(" (%1 x %2): ").arg(content.rows).arg(content.cols) + path;
        return std::nullopt;
    }
    const int n = file.ReadInt(kPageSection, QStringLiteral("Page_LiveCount"), 0);
    if (n > kMaxPageFileEntries) {
        *problem = AppProfile::Translate(QStringLiteral("Load Page: only the first 1024 channels are read")) +
                   QStringLiteral(": ") + path;
    }
    for (int e = 1; e <= std::min(n, kMaxPageFileEntries); ++e) {
        const QString section = LiveSection(e);
        const QString id = file.ReadString(section, QStringLiteral("DeviceId"), QString()).left(63);
        if (id.isEmpty()) continue;
        const int channel = file.ReadInt(section, QStringLiteral("Channel"), 0);
        if (channel == 0) continue;
        PageFileEntry entry;
        entry.index = e;
        entry.deviceId = id.toUtf8();
        entry.channel = channel;
        content.entries.push_back(entry);
    }
    content.liveCount = static_cast<int>(content.entries.size());
    return content;
}
