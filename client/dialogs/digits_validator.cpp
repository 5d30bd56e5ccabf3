// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/digits_validator.h"

std::optional<int32_t> ParseDigits(const QString& text, int32_t max) {
    if (text.isEmpty()) return std::nullopt;
    int64_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

QValidator::State DigitsValidator::validate(QString& input, int& /*position*/) const {
    if (input.isEmpty()) return Intermediate;
    if (max_ == kAnyNumber) {
        for (const QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
        }
        return Acceptable;
    }
    return ParseDigits(input, max_) ? Acceptable : Invalid;
}
