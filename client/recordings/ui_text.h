// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <functional>

namespace recordings {

// Turns a window's English text into the user's language (the client's AppProfile::Translate). The
// recordings windows take it from whoever opens them, since this library knows nothing of the client's
// settings and language files.
using TranslateText = std::function<QString(const QString& english)>;

}  // namespace recordings
