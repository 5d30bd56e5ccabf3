// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDateTime>
#include <QWidget>

namespace recordings {

// Where a point of the timeline's bar lies in the recording: x in 0..width maps to 0..duration_ms.
double TimelinePosition(int x, int width, double duration_ms);
// Time of day of a position: the start time from the file's name plus the position ("14:05:09"); the
// position itself ("00:01:05") when the name carried no time.
QString TimeOfDay(const QDateTime& start, double position_ms);
// A length as hours, minutes and seconds ("00:01:05", "27:00:00"): whole seconds, hours not wrapped.
QString Duration(double ms);

// The player's timeline: the recording's length with its time of day at both ends, the shown position and
// the in and out marks of a clip. A press or a drag asks for a seek (seekRequested) as the pointer moves.
// It runs left to right also in a right-to-left window. UI thread.
class Timeline : public QWidget {
    Q_OBJECT

  public:
    explicit Timeline(QWidget* parent = nullptr);

    void SetRecording(const QDateTime& start, double duration_ms);
    void SetPosition(double position_ms);
    // Negative: no mark.
    void SetMarks(double in_ms, double out_ms);
    QSize sizeHint() const override;

  signals:
    void seekRequested(double position_ms);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    QRect Bar() const;
    int XOf(double position_ms) const;

    QDateTime start_;
    double duration_ms_ = 0;
    double position_ms_ = 0;
    double in_ms_ = -1;
    double out_ms_ = -1;
};

}  // namespace recordings
