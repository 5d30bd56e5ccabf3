// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The login dialog: the center server's address and ports and the user's credentials, the Login/Logout
// button, and the session's connection state in its caption. Modeless, owned by the main window, created
// once; Close only hides it. Whether a session is active is asked of the host.
#include <QDialog>
#include <functional>

#include "app/app_settings.h"
#include "app/settings_store.h"
#include "corvel/corvel.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the login dialog needs of the window that owns the session. UI thread only.
class LoginHost {
  public:
    virtual ~LoginHost() = default;
    // Null when the session could not be made.
    virtual AppSession* session() const = 0;
    // Logs out and clears what the session showed.
    virtual void LogoutCleanup() = 0;
    // Adds a line to the event log and the status line.
    virtual void AddLogLine(const QString& message) = 0;
    // Whether the operator's logout may go ahead (it may ask them first).
    virtual bool ConfirmLogout() { return true; }
    // Whether the session counts as logged in: a logout still ending elsewhere does not.
    virtual bool SessionActive() const { return session() && VelqApp_IsActive(session()); }
    // Runs `login` (the library calls that start a login) now, or once a logout still ending has ended.
    virtual void AfterLogout(std::function<void()> login) { login(); }
};

class CAppLoginDlg : public QDialog {
    Q_OBJECT
  public:
    // `host`, `settings` and `store` outlive the dialog; `parent` owns it. The edits start from the store;
    // OK stores what they hold before logging in. When that write fails the login still goes ahead (the
    // server does not need the file), but the dialog says so and stays open after the login succeeds.
    CAppLoginDlg(LoginHost* host, const AppSettings& settings, SettingsStore& store, QWidget* parent);

    // The Login/Logout button (OK).
    void OnOK();
    // A connection-state event (code 0..63) or the logout's (1, 0): caption, show/hide, log line.
    void ShowConnectionState(int code, intptr_t value);

    // The controls, for the main window's --login and for tests.
    QLineEdit* addressEdit() const { return address_; }
    QLineEdit* tcpPortEdit() const { return tcp_port_; }
    QLineEdit* udpPortEdit() const { return udp_port_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QPushButton* okButton() const { return ok_; }
    // The failure shown after the last OK (empty when its write succeeded).
    QString saveErrorText() const;

    // The " V1.0.3" form of a version integer (four characters, lowest byte first).
    static QString VersionText(uint32_t version);

  signals:
    // The empty user name or password message was shown (tests watch for it; the box is modal).
    void credentialsMissing();

  private:
    void OnAbout();
    void ShowCredentialsMessage();

    LoginHost* host_;
    const AppSettings& settings_;
    SettingsStore& store_;
    QLabel* save_error_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* address_;
    QLineEdit* tcp_port_;
    QLineEdit* udp_port_;
    QLineEdit* transfer_;
    QPushButton* ok_;
    QPushButton* close_;
    // The server refused this login ("Server Error", "Authorize Failed") and has not accepted it since.
    bool refused_ = false;
};
