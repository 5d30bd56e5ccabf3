// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/app_login_dlg.h"

#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QValidator>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "dialogs/about_dlg.h"

namespace {

// Edits hold at most 62 characters; the texts go to the library as UTF-8 of at most 62 bytes (a text whose
// UTF-8 form is longer is cut at a character boundary).
QByteArray Utf8Within(const QString& text, int max_bytes) {
    QByteArray bytes = text.left(62).toUtf8();
    if (bytes.size() <= max_bytes) return bytes;
    int cut = max_bytes;
    while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80) --cut;
    return bytes.left(cut);
}

// The integer the edit holds as a signed number (leading digits, as the dialog reads it).
int EditInt(const QLineEdit* edit) {
    return ProfileFile::ParseInt(edit->text()).value_or(0);
}

// The library sends user name and password in 32-byte fields (31 bytes and a terminator): the edits take
// no more than that, so what is sent, what is saved and what is shown are the same text.
constexpr int kCredentialBytes = 31;

class Utf8BytesValidator : public QValidator {
  public:
    Utf8BytesValidator(int max_bytes, QObject* parent) : QValidator(parent), max_bytes_(max_bytes) {}
    State validate(QString& input, int&) const override {
        return input.toUtf8().size() <= max_bytes_ ? Acceptable : Invalid;
    }

  private:
    int max_bytes_;
};

QLabel* Label(const QString& key_text, QWidget* parent) {
    auto* label = new QLabel(key_text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CAppLoginDlg::CAppLoginDlg(LoginHost* host, const AppSettings& settings, SettingsStore& store,
                           QWidget* parent)
    : QDialog(parent), host_(host), settings_(settings), store_(store) {
    setWindowIcon(parent->windowIcon());
    setWindowTitle(AppProfile::Translate(QStringLiteral("Lumetra Client Login")));

    ok_ = new QPushButton(AppProfile::Translate(QStringLiteral("Login")), this);
    ok_->setDefault(true);
    close_ = new QPushButton(AppProfile::Translate(QStringLiteral("Close")), this);
    auto* user_group = new QGroupBox(AppProfile::Translate(QStringLiteral("User Login")), this);
    user_ = new QLineEdit(user_group);
    password_ = new QLineEdit(user_group);
    password_->setEchoMode(QLineEdit::Password);
    auto* network_group = new QGroupBox(AppProfile::Translate(QStringLiteral("Network Configuration")), this);
    address_ = new QLineEdit(network_group);
    tcp_port_ = new QLineEdit(network_group);
    udp_port_ = new QLineEdit(network_group);
    for (QLineEdit* edit : {user_, password_, address_}) edit->setMaxLength(62);
    // Digits only, as the port edits of the template.
    const QRegularExpression digits(QStringLiteral("[0-9]{0,10}"));
    for (QLineEdit* edit : {tcp_port_, udp_port_})
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
    transfer_ = new QLineEdit(network_group);
    transfer_->hide();

    auto* user_form = new QFormLayout(user_group);
    user_form->addRow(Label(AppProfile::Translate(QStringLiteral("UserName:")), user_group), user_);
    user_form->addRow(Label(AppProfile::Translate(QStringLiteral("Password:")), user_group), password_);
    auto* network_form = new QFormLayout(network_group);
    network_form->addRow(Label(AppProfile::Translate(QStringLiteral("CenterServer Address:")), network_group),
                         address_);
    network_form->addRow(Label(AppProfile::Translate(QStringLiteral("CenterServer TcpPort:")), network_group),
                         tcp_port_);
    network_form->addRow(Label(AppProfile::Translate(QStringLiteral("CenterServer UdpPort:")), network_group),
                         udp_port_);

    auto* about = new QPushButton(AppProfile::Translate(QStringLiteral("&About Tavrin...")), this);
    about->setAutoDefault(false);
    close_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(about);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(user_group);
    layout->addWidget(network_group);
    save_error_ = Label(QString(), this);
    save_error_->setObjectName(QStringLiteral("saveError"));
    save_error_->setWordWrap(true);
    save_error_->hide();
    layout->addWidget(save_error_);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(ok_, &QPushButton::clicked, this, &CAppLoginDlg::OnOK);
    connect(close_, &QPushButton::clicked, this, &QDialog::hide);
    connect(about, &QPushButton::clicked, this, &CAppLoginDlg::OnAbout);

    for (QLineEdit* edit : {user_, password_})
        edit->setValidator(new Utf8BytesValidator(kCredentialBytes, edit));
    // A longer stored text is shown as it will be sent.
    const SettingsStore::Login stored = store_.login();
    user_->setText(QString::fromUtf8(Utf8Within(stored.user, kCredentialBytes)));
    password_->setText(QString::fromUtf8(Utf8Within(stored.password, kCredentialBytes)));
    address_->setText(stored.address);
    tcp_port_->setText(QString::number(stored.tcp_port));
    udp_port_->setText(QString::number(stored.udp_port));
}

void CAppLoginDlg::OnOK() {
    AppSession* session = host_->session();
    if (!session) return;
    if (host_->SessionActive()) {
        // After the server turned the login down the session only looks active: the press that follows
        // means "try again", so it logs out and goes on to log in with what the edits hold now.
        const bool retry = refused_;
        if (!retry && !host_->ConfirmLogout()) return;
        refused_ = false;
        host_->LogoutCleanup();
        ok_->setText(AppProfile::Translate(QStringLiteral("Login")));
        setWindowTitle(AppProfile::Translate(QStringLiteral("Lumetra Client Login")));
        if (!retry) return;
    }
    const QString address = address_->text().left(62);
    const QByteArray address_utf8 = Utf8Within(address, 62);
    const uint16_t tcp_port = uint16_t(EditInt(tcp_port_) & 0xFFFF);
    const uint16_t udp_port = uint16_t(EditInt(udp_port_) & 0xFFFF);
    bool stored = store_.SetServer(address, tcp_port, udp_port);

    const QByteArray user_utf8 = Utf8Within(user_->text(), kCredentialBytes);
    const QByteArray password_utf8 = Utf8Within(password_->text(), kCredentialBytes);
    const QString user = QString::fromUtf8(user_utf8);
    const QString password = QString::fromUtf8(password_utf8);
    stored = stored && store_.SetCredentials(user, password);
    if (stored) {
        save_error_->clear();
        save_error_->hide();
    } else {
        save_error_->setText(
            AppProfile::Translate(QStringLiteral("The settings could not be saved to %1. Check that "
                                                 "the folder can be written."))
                .arg(QDir::toNativeSeparators(store_.settingsFile())));
        save_error_->show();
    }
    if (user_utf8.isEmpty() || password_utf8.isEmpty()) {
        ShowCredentialsMessage();
        return;
    }
    ok_->setText(AppProfile::Translate(QStringLiteral("Logout")));
    // The library takes a new server and login only once the last logout has ended on its worker.
    host_->AfterLogout([session, address_utf8, tcp_port, udp_port, user_utf8, password_utf8,
                        show_all = settings_.ShowAllDevice != 0] {
        VelqApp_SetCenterServer(session, address_utf8.constData(), tcp_port, udp_port);
        VelqApp_Login(session, user_utf8.constData(), password_utf8.constData());
        if (show_all) VelqApp_ShowAllDevice(session);
    });
}

QString CAppLoginDlg::saveErrorText() const {
    return save_error_->text();
}

void CAppLoginDlg::ShowCredentialsMessage() {
    emit credentialsMissing();
    QMessageBox box(QMessageBox::Warning, windowTitle(),
                    AppProfile::Translate(QStringLiteral("please input username and password!")),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void CAppLoginDlg::ShowConnectionState(int code, intptr_t value) {
    const QString title = AppProfile::Translate(QStringLiteral("Lumetra Client Login"));
    QString word;
    switch (code) {
        case 1:
            word = AppProfile::Translate(QStringLiteral("Disconnect"));
            break;
        case 2:
            word = AppProfile::Translate(QStringLiteral("Connecting"));
            break;
        case 3:
            word = AppProfile::Translate(QStringLiteral("Server Error"));
            break;
        case 4:
            word = AppProfile::Translate(QStringLiteral("Authorize Failed"));
            break;
        case 5:
            word = AppProfile::Translate(QStringLiteral("Connected"));
            break;
        case 6:
            word = AppProfile::Translate(QStringLiteral("Version Error"));
            break;
        default:
            setWindowTitle(title);
            return;
    }
    setWindowTitle(title + QStringLiteral(" - ") + word);
    // A refusal holds through the reconnection attempts that follow it, until the server accepts.
    // (After these two the library has stopped trying: the session only looks logged in.)
    if (code == 3 || code == 4) refused_ = true;
    if (code == 5) refused_ = false;
    if (code == 3 || code == 4) {
        show();
        raise();
    } else if ((code == 5 || code == 6) && save_error_->isHidden()) {
        // A login whose settings were not saved keeps the dialog, so the operator reads why.
        hide();
    }
    if (code == 6) word += VersionText(uint32_t(value));
    host_->AddLogLine(word);
}

QString CAppLoginDlg::VersionText(uint32_t version) {
    // Shown as plain text; a byte that is no printable character shows as '?'.
    const auto at = [version](int shift) {
        const char c = char((version >> shift) & 0xFF);
        return QChar(c >= 0x20 && c < 0x7F ? c : '?');
    };
    return QStringLiteral(" ") + at(0) + at(8) + u'.' + at(16) + u'.' + at(24);
}

void CAppLoginDlg::OnAbout() {
    CAboutDlg about(this);
    about.setWindowIcon(windowIcon());
    about.exec();
}
