// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QImage>
#include <QWidget>

namespace recordings {

// Shows a picture scaled to the widget with its proportions kept, on black. UI thread.
class PictureView : public QWidget {
    Q_OBJECT

  public:
    explicit PictureView(QWidget* parent = nullptr);
    void SetPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
};

}  // namespace recordings
