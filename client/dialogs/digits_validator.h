// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Digit-only edits (frame rate, preset, durations): a validator that lets a line edit hold nothing but
// decimal digits of a number no greater than a maximum, so typed or pasted text that is not a number or
// would not fit is refused as a whole, never wrapped.
#include <QValidator>
#include <cstdint>
#include <optional>

// The value of `text` when it is 1 to 10 decimal digits (leading zeros allowed) of at most `max`;
// nullopt otherwise (empty, a sign, a blank, another character, or too large).
std::optional<int32_t> ParseDigits(const QString& text, int32_t max = INT32_MAX);

class DigitsValidator : public QValidator {
    Q_OBJECT
  public:
    // `max` kAnyNumber: any run of digits is let in, and the caller refuses what does not fit when it reads
    // the edit (the frame rate does so with its own message).
    static constexpr int32_t kAnyNumber = -1;

    explicit DigitsValidator(int32_t max, QObject* parent = nullptr) : QValidator(parent), max_(max) {}
    // Empty text is Intermediate (the edit may be cleared while typing); digits within the maximum are
    // Acceptable; everything else is Invalid, which makes QLineEdit refuse the key or the paste whole.
    State validate(QString& input, int& position) const override;
    int32_t max() const { return max_; }

  private:
    int32_t max_;
};
