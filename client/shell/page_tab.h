#pragma once
// The video grid of the main window: pages of display windows under a strip of page tabs. This first
// version draws the empty grid of UIWindowRow x UIWindowCol cells; pages, display windows and playing
// channels are added with the grid itself.
#include <QWidget>

#include "corvel/corvel.h"

class PageTab : public QWidget {
    Q_OBJECT
  public:
    explicit PageTab(QWidget* parent = nullptr);

    // Every channel closed, one empty page.
    void ResetGrid();
    // The main window's one-second tick.
    void OnTimer();
    // Events 192..195 for the display window showing `channel`; false when no window shows it.
    bool TransferStatus(int code, AppChannel* channel);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int rows_ = 2;
    int columns_ = 2;
};
