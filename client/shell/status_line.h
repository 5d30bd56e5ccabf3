// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status line at the top right of the main window: the newest event text, right-aligned and
// vertically centred, drawn over the banner image ("top-bg.bmp" stretched over the whole line) and the
// logo ("logo.bmp", combined with a bitwise OR, centred on a 472-pixel span). Plain text only. "The whole
// line" is the part no other widget covers (SetCovered).
#include <QPixmap>
#include <QWidget>

class StatusLine : public QWidget {
    Q_OBJECT
  public:
    explicit StatusLine(QWidget* parent = nullptr);

    void SetText(const QString& text);
    const QString& text() const { return text_; }
    // Images that do not load leave their part blank.
    void SetImages(const QPixmap& banner, const QPixmap& logo);
    void SetTextColor(const QColor& color);
    // Where the text goes: right of the logo (the whole line without one), so a long text never runs
    // over it. The text shown there is `text()` elided at its end when it does not fit (shownText()).
    QRect TextRect() const;
    QString shownText() const;
    // Pixels at the left and right ends that another widget covers (the alarm list's selector stands over
    // the line's left end): banner, logo and text are drawn in the rest, the line keeps its rectangle.
    void SetCovered(int left_px, int right_px);
    // The part of the line that banner, logo and text use.
    QRect DrawnRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int LogoLeft() const;

    QString text_;
    QPixmap banner_;
    QPixmap logo_;
    QColor text_color_ = Qt::white;
    int covered_left_px_ = 0;
    int covered_right_px_ = 0;
};
