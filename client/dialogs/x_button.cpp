// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/x_button.h"

#include <QKeyEvent>
#include <QMouseEvent>

CxButton::CxButton(int control_id, const QString& text, QWidget* parent)
    : QPushButton(text, parent), control_id_(control_id) {
    setAutoDefault(false);
}

void CxButton::Press(Hold by) {
    if (hold_ != Hold::kNone) return;
    hold_ = by;
    emit Notified(control_id_, kPressed);
}

void CxButton::Release() {
    if (hold_ == Hold::kNone) return;
    hold_ = Hold::kNone;
    emit Notified(control_id_, kReleased);
}

void CxButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Press(Hold::kMouse);
    QPushButton::mousePressEvent(event);
}

void CxButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Release();
    QPushButton::mouseReleaseEvent(event);
}

// Key repeats of a held space bar are neither new presses nor releases: the camera keeps its one move.
void CxButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) Press(Hold::kKey);
    QPushButton::keyPressEvent(event);
}

void CxButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) Release();
    QPushButton::keyReleaseEvent(event);
}

void CxButton::focusOutEvent(QFocusEvent* event) {
    if (hold_ == Hold::kKey) Release();
    QPushButton::focusOutEvent(event);
}

void CxButton::hideEvent(QHideEvent* event) {
    Release();
    QPushButton::hideEvent(event);
}

void CxButton::changeEvent(QEvent* event) {
    if ((event->type() == QEvent::EnabledChange && !isEnabled()) ||
        (event->type() == QEvent::ActivationChange && !isActiveWindow())) {
        Release();
    }
    QPushButton::changeEvent(event);
}
