// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/channel_commands.h"

#include <QDir>
#include <QFileInfo>

std::array<ChannelMenuEntry, 7> ChannelMenuEntries(const ChannelMenuFacts& f) {
    const bool channel = f.chn != -1;
    const bool device = f.dev != -1;
    const bool active = channel && f.nodeIsActiveChannel;
    const bool audio = device && f.hasAudioChannel;
    return {{
        {kCommandPlay, channel, active},
        {kCommandAudio, device, audio && f.audioPlaying},
        {kCommandTalk, device, audio && f.talking},
        {kCommandRecord, active, active && f.activeRecording},
        {kCommandSnapshot, active, false},
        {kCommandConfig, device, false},
        {kCommandMap, true, false},
    }};
}

QString SafeFileNamePart(const QString& text) {
    constexpr int kMaxChars = 64;
    static const QString kRefused = QStringLiteral("/\\:*?\"<>|");
    QString safe;
    safe.reserve(std::min<qsizetype>(text.size(), kMaxChars));
    for (QChar c : text) {
        if (safe.size() == kMaxChars) break;
        const bool unsafe = c.unicode() < 0x20 || c.unicode() == 0x7f || kRefused.contains(c) ||
                            c.category() == QChar::Other_Format;
        safe.append(unsafe ? QChar(u'_') : c);
    }
    if (!safe.isEmpty() && safe.back().isHighSurrogate()) safe.chop(1);  // cut inside a pair
    for (qsizetype i = 0; i < safe.size() && safe[i] == u'.'; ++i) safe[i] = u'_';
    if (safe.isEmpty()) safe = QStringLiteral("_");
    return safe;
}

QString RecordFileName(const QString& vehicle, int channel) {
    return QStringLiteral("%1-chn%2.avi").arg(SafeFileNamePart(vehicle)).arg(channel, 2, 10, QChar(u'0'));
}

QString SnapshotFileName(const QString& vehicle, int channel) {
    return QStringLiteral("%1-chn%2.bmp").arg(SafeFileNamePart(vehicle)).arg(channel, 2, 10, QChar(u'0'));
}

bool EnsureFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    QDir().mkpath(folder);
    return QFileInfo(folder).isDir();
}
