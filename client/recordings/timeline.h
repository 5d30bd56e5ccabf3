// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QWidget>
#include <vector>

namespace recordings {

class TrueTimes;

// Where a point of the timeline's bar lies in the recording: x in 0..width maps to 0..duration_ms.
double TimelinePosition(int x, int width, double duration_ms);
// Time of day of a position: the start time from the file's name plus the position ("14:05:09"); the
// position itself ("00:01:05") when the name carried no time.
QString TimeOfDay(const QDateTime& start, double position_ms);
// A length as hours, minutes and seconds ("00:01:05", "27:00:00"): whole seconds, hours not wrapped.
QString Duration(double ms);

// The player's timeline: the recording's length with its time of day at both ends, the shown position and
// the in and out marks of a clip. A press or a drag asks for a seek (seekRequested) as the pointer moves.
// With the recording's true times the bar is wall-clock time: the gaps in which no video arrived are
// marked on it, and a press in one seeks to the first frame after it and says so (gapEntered).
// It runs left to right also in a right-to-left window. UI thread.
class Timeline : public QWidget {
    Q_OBJECT

  public:
    explicit Timeline(QWidget* parent = nullptr);

    void SetRecording(const QDateTime& start, double duration_ms);
    void SetPosition(double position_ms);
    // Negative: no mark.
    void SetMarks(double in_ms, double out_ms);
    // The recording's true times (owned by the caller, alive while set); null or invalid: positions.
    void SetTrueTimes(const TrueTimes* times);
    // Where the gaps lie on the bar (empty without true times).
    std::vector<QRect> GapRects() const;
    QRect Bar() const;
    QSize sizeHint() const override;

  signals:
    void seekRequested(double position_ms);
    // A press fell into a gap (wall-clock ms of its ends); seekRequested follows with the frame after it.
    void gapEntered(qint64 from_ms, qint64 to_ms);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    int XOf(double position_ms) const;
    int XOfTime(int64_t unix_ms) const;
    bool TrueAxis() const;
    void SeekAt(int x);
    QString LabelAt(double position_ms) const;

    QDateTime start_;
    double duration_ms_ = 0;
    double position_ms_ = 0;
    double in_ms_ = -1;
    double out_ms_ = -1;
    const TrueTimes* times_ = nullptr;
};

}  // namespace recordings
