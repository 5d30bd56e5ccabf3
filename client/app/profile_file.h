// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Initialization files ("Config.ini", language files, page files, province lists) read and written with
// the semantics the client's settings have always had:
//   - section and key names match without regard to case; the first matching section and key win;
//   - names and values are trimmed of surrounding blanks, and a value wrapped in a pair of matching quotes
//     loses them;
//   - lines starting with ';' are comments; a line without '=' inside a section is a key without value;
//   - a missing or unreadable file reads as empty; integers read as an optional sign and the leading decimal
//     digits (anything else gives 0; an empty value gives the default);
//   - a write replaces only the value of the first matching key (or adds the key at the end of its section,
//     or adds the section at the end of the file) and keeps every other line, its text and order.
// Files are UTF-8 (a byte-order mark is skipped; UTF-16 with its mark is read too). Bad files are bounded:
// only the first kMaxFileBytes and kMaxLines of a file are read (defaults for what lies beyond), and a
// file beyond either limit is never rewritten, so nothing stored in it is lost.
//
// Not thread-safe by itself: each ProfileFile object is used by one thread (the client's UI thread).
#include <QDateTime>
#include <QFileDevice>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class ProfileFile {
  public:
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;
    static constexpr int kMaxLines = 65536;
    // The longest value handed out: the 260-character buffers of the settings functions.
    static constexpr int kMaxValueChars = 259;

    ProfileFile() = default;
    explicit ProfileFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The value stored under key in section, cut to kMaxValueChars; nullopt when the file, section or key is
    // missing. An empty stored value comes back as an empty text (not nullopt).
    std::optional<QString> Lookup(const QString& section, const QString& key);
    // The stored value or `fallback` when missing (an empty stored value stays empty).
    QString ReadString(const QString& section, const QString& key, const QString& fallback);
    // An optional sign and the leading digits of the value, clamped to 32 bits; `fallback` when the key is
    // missing or its value empty, 0 when the value starts with anything else.
    int ReadInt(const QString& section, const QString& key, int fallback);
    // The lines of the section, each as it stands (trimmed), comments and blank lines left out; at most
    // `max_chars` characters in all, each line counting one more for its terminator.
    QStringList ReadSection(const QString& section, int max_chars = 32767);
    // The sections' names in file order.
    QStringList SectionNames();

    // Stores value under key, creating the file and the section when needed. `mode`, when given, is applied
    // to the file after every write (the settings file holds a password: owner read/write only). False when
    // the file cannot be written or is larger than kMaxFileBytes (then it is left as it is).
    bool WriteString(const QString& section, const QString& key, const QString& value,
                     std::optional<QFileDevice::Permissions> mode = std::nullopt);

    // Parses an integer as the settings reader does (see ReadInt); nullopt for an empty text.
    static std::optional<int> ParseInt(const QString& text);

  private:
    struct Line {
        QString text;      // the line as it was read, without its line end
        int section = -1;  // index into sections_, for lines inside a section
        QString key;       // trimmed key of a key line, empty otherwise
        QString value;     // trimmed and unquoted value
    };
    struct Section {
        QString name;
        int header_line = 0;
        QHash<QString, int> keys;  // case-folded key -> its first line
    };

    // Reloads the file when its size or time stamp changed since the last read.
    void Refresh();
    void Parse(const QString& text);
    const Section* FindSection(const QString& name) const;

    QString path_;
    bool loaded_ = false;
    qint64 loaded_size_ = -1;
    QDateTime loaded_time_;
    bool too_big_ = false;
    QVector<Line> lines_;
    QVector<Section> sections_;
    QHash<QString, int> section_index_;  // case-folded name -> first section of that name
};
