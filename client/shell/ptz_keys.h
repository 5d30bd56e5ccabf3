// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The camera steered from the keyboard as from the hold buttons of the device dialog: a key held down
// sends the button's press command to the active tile's camera, its release the stop, by the same rule
// (CameraCommandRule). Key repeats send nothing. A hold also ends, with its stop, when the window stops
// being the active one (the key's release would go elsewhere), so a camera never keeps moving unattended.
// UI thread only.
#include <QKeyCombination>
#include <QObject>
#include <functional>
#include <map>

#include "corvel/corvel.h"
#include "dialogs/camera_command.h"

class QWidget;

class PtzKeys : public QObject {
    Q_OBJECT
  public:
    struct Camera {
        AppDevice* device = nullptr;
        int channel = 0;
    };
    // The active tile's camera (no device: none), the PTZ settings, and how a camera command goes out
    // (query 142 of the channel; false when the library refused it).
    using Target = std::function<Camera()>;
    using Settings = std::function<PtzSettings()>;
    using Send = std::function<bool(const Camera&, int32_t value)>;

    // Keys reach it while `window` is the active window; it filters the application's key events.
    PtzKeys(QWidget* window, Target target, Settings settings, Send send);
    ~PtzKeys() override;

    // `key` (with its modifiers) holds the button of control ID `control_id` (1200 to 1213).
    void Bind(QKeyCombination key, int control_id);
    bool holding() const { return held_control_ != 0; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Release();

    QWidget* window_;
    Target target_;
    Settings settings_;
    Send send_;
    CameraCommandRule rule_;
    std::map<int, int> bound_;  // QKeyCombination::toCombined() -> control ID
    int held_key_ = 0;          // the key (without modifiers) whose release ends the hold
    int held_control_ = 0;
    Camera held_camera_;
};
