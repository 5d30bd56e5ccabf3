#pragma once
// The map view of the main window. This first version keeps the view's state that the main window reads
// and writes (selected vehicle, latest speed, docked place) and reads positions with the library's
// sentence parser; the web map itself comes with the map view's own work.
#include <QRect>
#include <QWidget>

class CMapDlg : public QWidget {
    Q_OBJECT
  public:
    explicit CMapDlg(QWidget* parent = nullptr);

    // Row of the selected vehicle in the vehicle list; -1 none; -2 while a playback page is shown.
    int Index = -1;
    // Speed (km/h) and course of the latest position read.
    double SpeedBar = 0.0;
    double AngleBar = 0.0;
    bool floating = false;
    QRect dockedRect;

    void SelectVehicle(int index);
    // 1 when `sentence` is a valid position (its speed is then in SpeedBar), else 0.
    int Position(const QByteArray& sentence, int index);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double latitude_ = 0.0;
    double longitude_ = 0.0;
    bool has_position_ = false;
};
