// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line along a display window's bottom edge that tells how its channel's video is coming (the
// library's events 192 to 195): connecting to the transfer server, or no data. It hides once the first
// picture is there, and when the channel is released. Plain text. UI thread only; its label is a child of
// the tile.
#include <QColor>
#include <QSize>
#include <QString>

class QLabel;
class QWidget;

class TileStatus {
  public:
    explicit TileStatus(QWidget* tile);

    // Event `code` (192 to 195) of the shown channel; other codes change nothing.
    void Show(int code, const QSize& tile);
    void Hide();
    // At the tile's bottom edge, where it hides least of the picture (the label is at the top).
    void Place(const QSize& tile);
    void SetColors(const QColor& background, const QColor& text);

    QString text() const;
    bool visible() const;

  private:
    QLabel* label_;
};
