// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status line at the top right of the main window: the newest event text, right-aligned and
// vertically centred, drawn over the banner image ("top-bg.bmp" stretched over the whole line) and the
// logo ("logo.bmp", combined with a bitwise OR, centred on a 472-pixel span). Plain text only.
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

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QPixmap banner_;
    QPixmap logo_;
    QColor text_color_ = Qt::white;
};
