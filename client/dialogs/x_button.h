// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CxButton: a push button that tells its owner when it is pressed and when it is released, not only when
// it is clicked, so that a camera moves while the button is held. The notifications are emitted on the UI
// thread before the button's own handling (connect them directly to have them handled synchronously):
// press (left button or space bar) with code 2, release with code 3, and afterwards the ordinary
// clicked() of a push button. A hold that ends another way also reports the release, so a held camera
// never keeps moving unattended: the button is hidden or disabled, its window stops being the active one,
// or, for a space-bar hold, the focus moves away (the key's release would go elsewhere; a mouse hold keeps
// its button's release whatever has the focus).
#include <QPushButton>

class CxButton : public QPushButton {
    Q_OBJECT
  public:
    static constexpr int kPressed = 2;
    static constexpr int kReleased = 3;

    CxButton(int control_id, const QString& text, QWidget* parent = nullptr);
    int control_id() const { return control_id_; }
    bool held() const { return hold_ != Hold::kNone; }

  signals:
    // Control ID and notification code (kPressed or kReleased).
    void Notified(int control_id, int code);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    enum class Hold { kNone, kMouse, kKey };
    void Press(Hold by);
    void Release();

    int control_id_;
    Hold hold_ = Hold::kNone;
};
