// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <functional>
#include <utility>

namespace recordings {

// Turns a window's English text into the user's language (the client's AppProfile::Translate). The
// recordings windows take it from whoever opens them, since this library knows nothing of the client's
// settings and language files.
using TranslateText = std::function<QString(const QString& english)>;

// The translation that keeps every text in English: for the tests, the benchmark and standard error.
inline QString KeepEnglish(const QString& english) {
    return english;
}

// A message for the user, put into words only when it is shown. Opening a file or exporting a clip may go
// wrong on any thread and without a window, while the translation belongs to the UI thread (it keeps a
// cache); so the plain classes hand over how to say it, and the window says it in the user's language.
class UserText {
  public:
    // words: the message in the language of the translation it is given. It may be kept and called on
    // another thread than the one that made it, so it holds copies of values only.
    using Words = std::function<QString(const TranslateText& translate)>;

    UserText() = default;
    explicit UserText(Words words) : words_(std::move(words)) {}

    bool isEmpty() const { return !words_; }
    // The message in the language of `translate`; empty for no message.
    QString In(const TranslateText& translate) const { return words_ ? words_(translate) : QString(); }
    QString English() const { return In(KeepEnglish); }

  private:
    Words words_;
};

// Puts `text` in *error when the caller asked for the message (error not null).
inline void Tell(UserText* error, UserText text) {
    if (error != nullptr) *error = std::move(text);
}

}  // namespace recordings
