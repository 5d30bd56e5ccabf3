// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One of the three image buttons above the left panel ("Device List", "Log Info", "Playback"): it shows
// its "on" or "off" skin image with its translated name over it and reports clicks.
#include <QPixmap>
#include <QWidget>

class PanelSelector : public QWidget {
    Q_OBJECT
  public:
    explicit PanelSelector(QWidget* parent = nullptr);

    // Images that do not load stay null; the selector then shows its name alone.
    void LoadImages(const QString& on_path, const QString& off_path);
    void SetOn(bool on);
    bool isOn() const { return on_; }
    void SetText(const QString& text);
    const QString& text() const { return text_; }
    void SetTextColor(const QColor& color);
    // Room for the name in bold (as it shows when on) within the side margins; the selector's place is
    // fixed, so a name wider than that is cut off.
    QSize sizeHint() const override;

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QPixmap on_image_;
    QPixmap off_image_;
    bool on_ = false;
    QString text_;
    QColor text_color_ = Qt::white;
};
