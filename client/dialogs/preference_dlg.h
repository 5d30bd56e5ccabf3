// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shared frame of the four preference dialogs: the caption "Preferences", a titled group holding the
// page's controls, and the button row Refresh / Save / Cancel / Default. Refresh loads the current
// settings, Default the built-in defaults (nothing is stored), Save stores into the cached settings and
// the settings file, applies and hides; Cancel and Escape hide without storing. Each page loads its
// controls from a values object only, so Refresh and Default fill the same controls. UI thread only.
#include <QDialog>

class QAbstractButton;
class QGroupBox;
class QLabel;
class QLineEdit;
class QVBoxLayout;

class PreferenceDlg : public QDialog {
    Q_OBJECT
  public:
    enum Control { kSave = 1, kCancel = 2, kRefresh = 1036, kDefault = 1300 };

    virtual void Refresh() = 0;
    virtual void Default() = 0;
    virtual void Save() = 0;
    // Refresh, then show and raise: what the menu commands do.
    void ShowCurrent();
    QAbstractButton* button(int control_id) const;
    // The failure shown after the last Save (empty when it succeeded).
    QString saveErrorText() const;

  protected:
    // `program_folder` is where the folder picker starts when its edit names no folder.
    PreferenceDlg(const QString& group_title, const QString& program_folder, QWidget* parent);
    // Where a page puts its controls.
    QVBoxLayout* body() const { return body_; }
    // A folder edit with its Browse button, which opens the folder picker titled "Please select a
    // folder..." and puts the chosen folder into the edit (cancelling leaves it as it is).
    QLineEdit* AddFolderRow(const QString& label);
    // A digit-only edit of seconds (at most 32 bits) between its label and its note.
    QLineEdit* AddSecondsRow(const QString& label, const QString& note);
    // Called from Save: the write failed, so the dialog stays open with what the operator entered.
    void KeepOpenAfterSave() { keep_open_ = true; }
    // Called from Save when the settings file could not be written: the dialog stays open and says which
    // file failed; ClearSaveError after a Save that stored everything.
    void ShowSaveError(const QString& settings_file);
    void ClearSaveError();
    void reject() override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    // A window does not grow for text that wraps (its minimum height counts each wrapping label as one
    // line): the dialog keeps at least the height its controls need at its present width.
    void FitHeight();

    QVBoxLayout* body_;
    QLabel* save_error_;
    QString program_folder_;
    bool keep_open_ = false;
};
