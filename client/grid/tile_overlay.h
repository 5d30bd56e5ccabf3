// SPDX-License-Identifier: GPL-3.0-or-later
// What the client draws over a tile's picture: the label (vehicle, channel, a live clock) with the
// recording, audio and talk marks beside it, the notice of a stalled stream, a short notice (a snapshot
// written) and the close button. The
// label strip is rendered into an image when it changes (a bind, a mark, the clock's second); a paint
// only blends that image over the picture. UI thread.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTime>

class QPainter;

struct TileMarks {
    bool recording = false;  // the channel records
    bool audio = false;      // the vehicle's audio plays
    bool talk = false;       // the vehicle hears the operator
    bool operator==(const TileMarks&) const = default;
};

class TileOverlay {
  public:
    TileOverlay();

    // The bound channel's vehicle label and channel name; both empty while the tile is unbound.
    void SetLabel(const QString& vehicle, const QString& channel);
    // False: the label (and its clock) is not drawn; the marks still are.
    void SetShowLabel(bool show);
    bool ShowLabel() const { return show_label_; }
    // True when the shown text changed (the tile repaints).
    bool SetClock(const QTime& time);
    bool SetMarks(const TileMarks& marks);
    const TileMarks& Marks() const { return marks_; }
    // The stall notice ("No video since 12:04:31"); empty: pictures arrive.
    void SetStallText(const QString& text) { stall_text_ = text; }
    const QString& StallText() const { return stall_text_; }
    // A short notice of the client's own ("Snapshot saved: ..."); empty: none. Whoever sets it takes it
    // away again.
    void SetNotice(const QString& text) { notice_ = text; }
    const QString& Notice() const { return notice_; }

    // The label strip (label, clock and marks on a translucent backing) at the tile's top left; empty
    // when there is nothing to draw.
    QRect LabelRect() const;
    void PaintLabel(QPainter& painter) const;
    // Dims `picture` (the part of the tile the picture covers) and writes the stall notice in its middle.
    void PaintStall(QPainter& painter, const QRect& picture) const;
    // The notice centred in the lower part of `picture` (elided in the middle when it is too wide, so
    // that a file name keeps its start and its time).
    void PaintNotice(QPainter& painter, const QRect& picture) const;

    // The close button of a hovered tile, at its top right.
    static QRect CloseButtonRect(const QSize& tile);
    static void PaintCloseButton(QPainter& painter, const QSize& tile);

  private:
    void Compose();
    void Render();
    int MarkCount() const;

    QFont font_;
    int text_height_ = 0;
    bool show_label_ = true;
    QString vehicle_;
    QString channel_;
    QString clock_;
    int clock_second_ = -1;  // second of the day clock_ shows
    QString text_;           // vehicle, channel and clock as drawn
    int text_width_ = 0;
    TileMarks marks_;
    QImage strip_;  // the label strip as drawn: backing, text and marks
    QString stall_text_;
    QString notice_;
};
