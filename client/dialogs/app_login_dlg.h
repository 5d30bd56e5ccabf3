#pragma once
// The login dialog: the center server's address and ports and the user's credentials, the Login/Logout
// button, and the session's connection state in its caption. Modeless, owned by the main window, created
// once; Close only hides it. Whether a session is active is always asked of the library.
#include <QDialog>

class CAppMainDlg;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CAppLoginDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAppLoginDlg(CAppMainDlg* main_window);

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

    // The " V1.0.3" form of a version integer (four characters, lowest byte first).
    static QString VersionText(uint32_t version);

  signals:
    // The empty user name or password message was shown (tests watch for it; the box is modal).
    void credentialsMissing();

  private:
    void OnAbout();
    void ShowCredentialsMessage();

    CAppMainDlg* main_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* address_;
    QLineEdit* tcp_port_;
    QLineEdit* udp_port_;
    QLineEdit* transfer_;
    QPushButton* ok_;
    QPushButton* close_;
};
