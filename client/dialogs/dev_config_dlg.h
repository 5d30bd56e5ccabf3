// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDevConfigDlg: the modeless dialog in which the operator reads and changes one channel's video settings
// (quality, frame rate, resolution, bit rate) and steers its camera. Every read, change and camera command
// is a control query of the library; the main window hands the results back through Result and a refusal
// through SetStatus. Created once by the main window, hidden; UI thread only.
#include <QDialog>
#include <QMap>

#include "app/app_settings.h"
#include "app/settings_store.h"
#include "corvel/corvel.h"
#include "dialogs/camera_command.h"

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;

class CDevConfigDlg : public QDialog {
    Q_OBJECT
  public:
    // Control IDs of the dialog's own buttons.
    enum Control { kSave = 1, kClose = 2, kApply = 1032, kRefresh = 1036 };

    // `settings` and `store` outlive the dialog; the store says whether the resolution row shows.
    CDevConfigDlg(const AppSettings& settings, const SettingsStore& store, QWidget* parent = nullptr);

    // Shows the dialog for `channel` (counted from 1) of `device` and reads its settings: quality, bit
    // rate, resolution, frame rate, in that order. The caller sets the caption first.
    void Open(AppDevice* device, int channel);
    // A completed control operation of this dialog's device (kind above 127). Results for another channel
    // are ignored. The caller releases the operation.
    void Result(int code, AppOperation* operation);
    // The one-line status (a refused operation's "Operate Failed", set by the main window).
    void SetStatus(const QString& text);
    // Close (button 2, Escape, logout): forgets the device and channel and hides.
    void Close();

    AppDevice* device() const { return device_; }
    int channel() const { return channel_; }
    // Controls by their IDs, for the main window's tests.
    QComboBox* qualityList() const { return quality_; }
    QComboBox* resolutionList() const { return resolution_; }
    QComboBox* bitRateList() const { return bit_rate_; }
    QLineEdit* frameRateEdit() const { return frame_rate_; }
    QLineEdit* presetEdit() const { return preset_; }
    QString status() const;
    QAbstractButton* button(int control_id) const { return buttons_.value(control_id); }

  protected:
    void reject() override;  // Escape closes as Close does

  private:
    const AppSettings& settings_;  // the application's, outlives the dialog
    QWidget* MakeVideoGroup();
    QWidget* MakeCameraGroup();
    QAbstractButton* AddButton(int control_id, const QString& text, bool hold);
    // Every command notification: the camera rule first, then the dialog's own buttons.
    void Command(int control_id, int code);
    // Sends the writes of quality, frame rate, bit rate and resolution, in that order; a frame rate out of
    // 1..30 gets its message and is left out. False when the library refused to queue a write (the status
    // line says so).
    bool Apply();
    // False when the library refused to queue the query.
    bool Send(int code, int value);

    AppDevice* device_ = nullptr;
    int channel_ = 0;
    QComboBox* quality_ = nullptr;
    QComboBox* resolution_ = nullptr;
    QComboBox* bit_rate_ = nullptr;
    QLineEdit* frame_rate_ = nullptr;
    QLineEdit* preset_ = nullptr;
    QLabel* status_ = nullptr;
    QMap<int, QAbstractButton*> buttons_;
    CameraCommandRule camera_rule_;  // its laser and spot flags last as long as the dialog: the run
};
