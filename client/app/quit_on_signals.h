// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT, SIGTERM and SIGHUP end the client the one way it ends: the event loop is asked to return (every
// nested loop of a modal dialog or menu with it), and the windows are torn down by whoever called exec(),
// after it returned. The handler itself only writes a byte into a socket pair; the UI thread reads it.
#include <QObject>

class QSocketNotifier;

class QuitOnSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers for SIGINT, SIGTERM and SIGHUP. At most one exists at a time; UI thread only.
    // When the socket pair cannot be made the signals keep their default action.
    explicit QuitOnSignals(QObject* parent = nullptr);
    // Restores the default actions, then closes the socket pair.
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

    bool installed() const { return notifier_ != nullptr; }

  signals:
    // A signal arrived; emitted on the UI thread just before the event loop is asked to return.
    void received();

  private:
    void OnReadable();

    QSocketNotifier* notifier_ = nullptr;
};
