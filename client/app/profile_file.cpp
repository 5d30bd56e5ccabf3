// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/profile_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <limits>

namespace {

QString Fold(const QString& name) {
    return name.trimmed().toCaseFolded();
}

QString CutValue(const QString& value) {
    if (value.size() <= ProfileFile::kMaxValueChars) return value;
    int cut = ProfileFile::kMaxValueChars;
    // Never leave half of a surrogate pair at the end.
    if (value.at(cut - 1).isHighSurrogate()) --cut;
    return value.left(cut);
}

QString Unquote(const QString& value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first) return value.mid(1, value.size() - 2);
    }
    return value;
}

QString Decode(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                            : QStringConverter::Utf16BE);
        return decoder(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

}  // namespace

std::optional<int> ProfileFile::ParseInt(const QString& text) {
    const QString value = text.trimmed();
    if (value.isEmpty()) return std::nullopt;
    int pos = 0;
    bool negative = false;
    if (value.at(0) == u'-' || value.at(0) == u'+') {
        negative = value.at(0) == u'-';
        pos = 1;
    }
    qint64 magnitude = 0;
    for (; pos < value.size() && value.at(pos) >= u'0' && value.at(pos) <= u'9'; ++pos) {
        magnitude = magnitude * 10 + (value.at(pos).unicode() - u'0');
        // Past the 32-bit range the value sticks at the limit, as the C library's reader does.
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1) magnitude = qint64(1) << 32;
    }
    const qint64 signed_value = negative ? -magnitude : magnitude;
    if (signed_value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (signed_value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(signed_value);
}

void ProfileFile::Refresh() {
    const QFileInfo info(path_);
    const qint64 size = info.exists() ? info.size() : -1;
    const QDateTime time = info.exists() ? info.lastModified() : QDateTime();
    if (loaded_ && size == loaded_size_ && time == loaded_time_) return;
    loaded_ = true;
    loaded_size_ = size;
    loaded_time_ = time;
    too_big_ = size > kMaxFileBytes;
    QString text;
    QFile file(path_);
    if (size >= 0 && file.open(QIODevice::ReadOnly)) text = Decode(file.read(kMaxFileBytes));
    Parse(text);
}

void ProfileFile::Parse(const QString& text) {
    lines_.clear();
    sections_.clear();
    section_index_.clear();
    if (text.isEmpty()) return;
    QStringList raw = text.split(u'\n');
    if (raw.size() > kMaxLines) {
        raw.erase(raw.begin() + kMaxLines, raw.end());
        too_big_ = true;
    }
    lines_.reserve(raw.size());
    int current = -1;
    for (QString line_text : raw) {
        if (line_text.endsWith(u'\r')) line_text.chop(1);
        Line line;
        line.text = line_text;
        const QString trimmed = line_text.trimmed();
        if (trimmed.startsWith(u'[')) {
            const int close = trimmed.indexOf(u']');
            Section section;
            section.name = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            section.header_line = int(lines_.size());
            current = int(sections_.size());
            sections_.push_back(section);
        } else if (current >= 0 && !trimmed.isEmpty() && !trimmed.startsWith(u';')) {
            line.section = current;
            const int eq = trimmed.indexOf(u'=');
            line.key = (eq < 0 ? trimmed : trimmed.left(eq)).trimmed();
            line.value = eq < 0 ? QString() : Unquote(trimmed.mid(eq + 1).trimmed());
            QHash<QString, int>& keys = sections_[current].keys;
            const QString folded = Fold(line.key);
            if (!keys.contains(folded)) keys.insert(folded, int(lines_.size()));
        }
        lines_.push_back(std::move(line));
    }
    // QHash::insert replaces; keep the first section of each name.
    section_index_.clear();
    for (int i = int(sections_.size()) - 1; i >= 0; --i) section_index_.insert(Fold(sections_[i].name), i);
    // A trailing line end leaves one empty line that is no line of the file.
    if (!lines_.isEmpty() && lines_.back().text.isEmpty() && text.endsWith(u'\n')) lines_.pop_back();
}

const ProfileFile::Section* ProfileFile::FindSection(const QString& name) const {
    const auto it = section_index_.constFind(Fold(name));
    return it == section_index_.constEnd() ? nullptr : &sections_[*it];
}

std::optional<QString> ProfileFile::Lookup(const QString& section, const QString& key) {
    Refresh();
    const Section* found = FindSection(section);
    if (!found) return std::nullopt;
    const auto it = found->keys.constFind(Fold(key));
    if (it == found->keys.constEnd()) return std::nullopt;
    return CutValue(lines_[*it].value);
}

QString ProfileFile::ReadString(const QString& section, const QString& key, const QString& fallback) {
    return Lookup(section, key).value_or(CutValue(fallback));
}

int ProfileFile::ReadInt(const QString& section, const QString& key, int fallback) {
    const std::optional<QString> value = Lookup(section, key);
    if (!value) return fallback;
    return ParseInt(*value).value_or(fallback);
}

QStringList ProfileFile::ReadSection(const QString& section, int max_chars) {
    Refresh();
    QStringList result;
    const Section* found = FindSection(section);
    if (!found) return result;
    const int index = int(found - sections_.data());
    int used = 0;
    for (int i = found->header_line + 1; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.section != index) {
            if (line.text.trimmed().startsWith(u'[')) break;
            continue;  // comment or blank line
        }
        const QString entry = line.text.trimmed();
        if (used + entry.size() + 1 > max_chars) break;
        used += int(entry.size()) + 1;
        result.push_back(entry);
    }
    return result;
}

QStringList ProfileFile::SectionNames() {
    Refresh();
    QStringList names;
    for (const Section& section : sections_) names.push_back(section.name);
    return names;
}

bool ProfileFile::WriteString(const QString& section, const QString& key, const QString& value,
                              std::optional<QFileDevice::Permissions> mode) {
    Refresh();
    if (too_big_) return false;
    // A line end inside the value would make it two lines.
    QString clean = value;
    clean.replace(u'\r', u' ').replace(u'\n', u' ');
    const QString entry = key.trimmed() + u'=' + clean;

    QStringList out;
    out.reserve(lines_.size() + 2);
    for (const Line& line : lines_) out.push_back(line.text);
    const Section* found = FindSection(section);
    if (!found) {
        if (!out.isEmpty() && !out.back().trimmed().isEmpty()) out.push_back(QString());
        out.push_back(u'[' + section.trimmed() + u']');
        out.push_back(entry);
    } else if (const auto it = found->keys.constFind(Fold(key)); it != found->keys.constEnd()) {
        out[*it] = entry;
    } else {
        // After the section's last key line (or its header), so blank lines and comments that lead into
        // the next section stay where they are.
        const int index = int(found - sections_.data());
        int after = found->header_line;
        for (int i = found->header_line + 1; i < lines_.size(); ++i) {
            if (lines_[i].text.trimmed().startsWith(u'[')) break;
            if (lines_[i].section == index) after = i;
        }
        out.insert(after + 1, entry);
    }

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // Set on the temporary file, so the new file never exists with wider permissions.
    if (mode) file.setPermissions(*mode);
    QByteArray bytes = out.join(u'\n').toUtf8();
    bytes.append('\n');
    if (file.write(bytes) != bytes.size() || !file.commit()) return false;
    if (mode) QFile::setPermissions(path_, *mode);
    loaded_ = false;  // read back what was written on the next request
    return true;
}
