// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The route replay's window: choose a vehicle and a time range, show its track on the map (coloured by
// speed, stops of 2 minutes or more marked with their duration), move through it with the slider or play
// it at 1x to 60x while a marker moves along, and export it as GPX. The map page draws through three
// functions of its own (showReplay, moveReplayMarker, clearReplay); a page without them (a replacement
// page) leaves the replay unavailable, and the window says so.
//
// Where a local recording of the vehicle covers the replay's moment, "Video" opens the player there, and
// the two follow each other while it is open (ReplayVideoLink).
//
// Collaborators come in through Sources; UI thread only. Created once by the main window, shown and
// hidden; hiding it takes the track off the map.
#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QString>
#include <QTimer>
#include <functional>

#include "map/replay_video_link.h"
#include "map/route_replay.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

class ReplayPanel : public QDialog {
    Q_OBJECT
  public:
    struct Sources {
        // The vehicles with a history: (device id, label; the label may be empty).
        std::function<QList<QPair<QString, QString>>()> vehicles;
        // The vehicle's points in [from_s, to_s], oldest first.
        std::function<QList<PositionFix>(const QString& device_id, int64_t from_s, int64_t to_s)> read;
        // Calls the map page's function `name` with a JSON argument; `done(true)` when the page has it.
        std::function<void(const QString& name, const QByteArray& json, std::function<void(bool)> done)>
            call_page;
        // The street-map correction the live map gives a vehicle at a place (degrees). The track is sent
        // with the correction of its first point, so that the replay lies where the live marker drove;
        // empty: no correction is sent and the page draws the track as reported.
        std::function<RouteReplay::Offset(double lat_deg, double lng_deg)> offset_at;
    };
    static constexpr int kTickMs = 100;

    explicit ReplayPanel(Sources sources, QWidget* parent = nullptr);

    // Fills the vehicle list again (kept choice when still there).
    void RefreshVehicles();
    // Reads the chosen vehicle's track in the chosen range and shows it on the map.
    void ShowTrack();
    // Writes the shown track as GPX; false (and a line in the status) when it cannot.
    bool ExportTo(const QString& path);
    void SetPlaying(bool playing);
    // Where the recordings are found and the player is opened; without them there is no "Video" button.
    void SetVideoSources(ReplayVideoLink::Sources sources);
    // Opens the player on the recording covering the replay's moment; false (said in the status) when
    // none covers it.
    bool OpenVideo();
    bool playing() const { return timer_.isActive(); }

    const RouteReplay& replay() const { return replay_; }
    QComboBox* vehicleBox() const { return vehicle_; }
    QDateTimeEdit* fromEdit() const { return from_; }
    QDateTimeEdit* toEdit() const { return to_; }
    QSlider* slider() const { return slider_; }
    QSpinBox* speedBox() const { return speed_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* videoButton() const { return video_; }
    ReplayVideoLink& videoLink() { return video_link_; }
    QString StopLabel(const PositionStop& stop) const;

  protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void Tick();
    void ShowClock();
    void SendMarker();
    // The player showed `unix_ms` by itself: the replay goes there without seeking the player back.
    void FollowPlayer(qint64 unix_ms, bool player_playing);

    Sources sources_;
    RouteReplay replay_;
    QComboBox* vehicle_ = nullptr;
    QDateTimeEdit* from_ = nullptr;
    QDateTimeEdit* to_ = nullptr;
    QPushButton* show_ = nullptr;
    QToolButton* play_ = nullptr;
    QSlider* slider_ = nullptr;
    QSpinBox* speed_ = nullptr;
    QLabel* clock_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* video_ = nullptr;
    ReplayVideoLink video_link_;
    QTimer timer_;
    QElapsedTimer since_tick_;
    bool page_has_replay_ = true;
};
