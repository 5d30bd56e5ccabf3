// SPDX-License-Identifier: GPL-3.0-or-later
// The search panel on its own, fed by a session logged in to velq-sim as the window feeds it: the vehicle
// list from events 144 and 145 (sorted, "id - label", every device given back once), the playback address
// it builds (times only when checked, the device id encoded) and the simulator's page answering it. How
// the window shows the page is tests/client/shell/search_panel_wiring_test.cpp.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QMessageBox>
#include <QSet>
#include <QSignalSpy>
#include <QUrl>

#include "app/session_controller.h"
#include "app/settings_store.h"
#include "base/socket.h"
#include "dialogs/search_dlg.h"
#include "dialogs_fixture.h"

namespace {

velq_sim::Fleet FleetWithOddIds() {
    velq_sim::Fleet fleet = velq_sim::Fleet::Default();
    for (const char* id : {"NOLABEL-1", "A&B #1"}) {
        corvel::DeviceRecord record;
        record.set_id(id);
        bool existed = false;
        fleet.AddDevice(record, &existed);
    }
    return fleet;
}

// The status code of a GET of `address` (http://127.0.0.1:PORT/...), 0 when there was no answer.
int HttpStatus(const QString& address) {
    const QUrl url(address);
    sockaddr_in where{};
    corvel::ResolveIPv4("127.0.0.1", static_cast<uint16_t>(url.port()), &where);
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (!corvel::ConnectWithTimeout(s, where, 2000)) return 0;
    corvel::SetSocketTimeouts(s, 5000);
    const QByteArray request = "GET " + url.path(QUrl::FullyEncoded).toUtf8() + "?" +
                               url.query(QUrl::FullyEncoded).toUtf8() + " HTTP/1.1\r\nHost: x\r\n\r\n";
    corvel::SendAll(s, request.constData(), static_cast<size_t>(request.size()));
    char head[16] = {};
    const ssize_t n = recv(s, head, sizeof(head) - 1, MSG_WAITALL);
    close(s);
    return n >= 12 ? QByteArray(head + 9, 3).toInt() : 0;
}

}  // namespace

class SearchDlgTest : public QObject {
    Q_OBJECT
    SimWithWeb sim_{FleetWithOddIds()};
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<SessionController> session_;
    std::unique_ptr<CSearchDlg> panel_;
    bool logged_in_ = false;
    QStringList opened_;

    CSearchDlg& panel() { return *panel_; }
    void Select(const QString& prefix) {
        for (int i = 0; i < panel().vehicleList()->count(); ++i) {
            if (panel().vehicleList()->itemText(i).startsWith(prefix))
                panel().vehicleList()->setCurrentIndex(i);
        }
    }
    // What showing the Playback panel does in the window: ask the center for the list of every vehicle.
    void ShowPanel() { QVERIFY(VelqOpt_QueryAllDevice(session_->session())); }

  private slots:
    void initTestCase() {
        QVERIFY(sim_.started());
        home_.WriteFile(QStringLiteral("Config.ini"), "[Tavrin]\n" + sim_.ConfigLines());
        client_ = home_.StartClient();
        store_ = std::make_unique<SettingsStore>(client_->profile());
        session_ = std::make_unique<SessionController>();
        panel_ = std::make_unique<CSearchDlg>(client_->settings, *store_);
        panel_->SetOpener([this](const QString& address) { opened_ << address; });
        panel_->show();
        EventDispatch& events = session_->events();
        connect(&events, &EventDispatch::vehicleListBegins, panel_.get(), &CSearchDlg::VehicleListBegin);
        connect(&events, &EventDispatch::vehicleListed, panel_.get(), &CSearchDlg::AddVehicle);
        connect(&events, &EventDispatch::connectionState, this,
                [this](int code, qintptr) { logged_in_ = logged_in_ || code == VELQ_EV_LOGIN_OK; });
        QVERIFY(VelqApp_SetCenterServer(session_->session(), "127.0.0.1", sim_.center().tcp_port(),
                                        sim_.center().udp_port()));
        QVERIFY(VelqApp_Login(session_->session(), "orvi", "480913"));
        QTRY_VERIFY_WITH_TIMEOUT(logged_in_, 10000);
        ShowPanel();
        QTRY_COMPARE_WITH_TIMEOUT(panel().vehicleCount(), 10, 10000);
        // No vehicle is chosen for the operator: Search cannot open one they never picked.
        QCOMPARE(panel().vehicleList()->currentIndex(), -1);
        QCOMPARE(panel().Search(), QString());
        QVERIFY(opened_.isEmpty());
    }
    // The panel gives its devices back to the session's pool: it goes first.
    void cleanupTestCase() {
        panel_.reset();
        session_.reset();
    }

    void listIsSortedAndAnEmptyLabelShowsAsIdAndDash() {
        QStringList texts;
        for (int i = 0; i < panel().vehicleList()->count(); ++i) texts << panel().vehicleList()->itemText(i);
        QStringList sorted = texts;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString& a, const QString& b) { return QString::localeAwareCompare(a, b) < 0; });
        QCOMPARE(texts, sorted);
        QVERIFY(texts.contains(QStringLiteral("NOLABEL-1 - ")));
        QVERIFY(texts.contains(QStringLiteral("MDVR-10001 - AB-3127")));
    }

    void searchBuildsTheAddressAndTheSimulatorAnswersIt() {
        Select(QStringLiteral("MDVR-10002"));
        panel().startCheck()->setChecked(false);
        panel().endCheck()->setChecked(false);
        const QString base =
            QStringLiteral("http://127.0.0.1:%1/playback.aspx?devicename=").arg(sim_.http_port());
        QCOMPARE(panel().Search(), base + QStringLiteral("MDVR-10002"));
        QCOMPARE(opened_.last(), base + QStringLiteral("MDVR-10002"));
        QCOMPARE(HttpStatus(opened_.last()), 200);

        panel().startCheck()->setChecked(true);
        panel().startPicker()->setDateTime(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        QCOMPARE(panel().Search(), base + QStringLiteral("MDVR-10002&stime=2026-03-04T05:06:07"));
        panel().endCheck()->setChecked(true);
        panel().endPicker()->setDateTime(QDateTime(QDate(2026, 3, 4), QTime(6, 0, 0)));
        QCOMPARE(panel().Search(),
                 base + QStringLiteral("MDVR-10002&stime=2026-03-04T05:06:07&etime=2026-03-04T06:00:00"));
        QCOMPARE(HttpStatus(opened_.last()), 200);

        // An id holding "&", "#" and a blank stays one value and reaches the same vehicle.
        Select(QStringLiteral("A&B #1"));
        panel().startCheck()->setChecked(false);
        panel().endCheck()->setChecked(false);
        QCOMPARE(panel().Search(), base + QStringLiteral("A%26B%20%231"));
        QCOMPARE(HttpStatus(opened_.last()), 200);
    }

    // Showing the panel again asks for the list again: the same list is not rebuilt and the operator's
    // choice stays; an end before the start is refused with a message and opens nothing.
    void sameListIsKeptAndAnEndBeforeTheStartIsRefused() {
        Select(QStringLiteral("MDVR-10003"));
        int rebuilt = 0;
        connect(panel().vehicleList()->model(), &QAbstractItemModel::rowsInserted, this, [&] { ++rebuilt; });
        connect(panel().vehicleList()->model(), &QAbstractItemModel::modelReset, this, [&] { ++rebuilt; });
        QSignalSpy listed(&panel(), &CSearchDlg::vehiclesListed);
        ShowPanel();
        // (A list asked for by the test before may still be arriving: it is the same list as well.)
        QTRY_VERIFY_WITH_TIMEOUT(listed.count() >= 1, 10000);
        QTest::qWait(500);
        QVERIFY(panel().vehicleList()->currentData().value<void*>() != nullptr);
        QCOMPARE(rebuilt, 0);
        QVERIFY(panel().vehicleList()->currentText().startsWith("MDVR-10003"));
        disconnect(panel().vehicleList()->model(), nullptr, this, nullptr);

        panel().startCheck()->setChecked(true);
        panel().endCheck()->setChecked(true);
        panel().startPicker()->setDateTime(QDateTime(QDate(2026, 3, 4), QTime(6, 0, 0)));
        panel().endPicker()->setDateTime(QDateTime(QDate(2026, 3, 4), QTime(5, 0, 0)));
        const int before = int(opened_.size());
        QCOMPARE(panel().Search(), QString());
        QCOMPARE(int(opened_.size()), before);
        auto* box = panel().findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), QString("The end time is before the start time"));
        delete box;
        // Equal times are a period of its own and go through.
        panel().endPicker()->setDateTime(panel().startPicker()->dateTime());
        QVERIFY(!panel().Search().isEmpty());
    }

    void noSelectionDoesNothingAndANewListGivesEveryDeviceBackOnce() {
        QList<AppDevice*> listed;
        for (int i = 0; i < panel().vehicleList()->count(); ++i)
            listed << static_cast<AppDevice*>(panel().vehicleList()->itemData(i).value<void*>());
        panel().VehicleListBegin(0);
        QCOMPARE(panel().vehicleCount(), 0);
        const int before = int(opened_.size());
        QCOMPARE(panel().Search(), QString());
        QCOMPARE(int(opened_.size()), before);

        // Given back once each: the pool hands each out again exactly once, never twice (the 20 extra take
        // whatever else the pool held first).
        QSet<AppDevice*> created;
        QList<AppDevice*> all;
        for (int i = 0; i < listed.size() + 20; ++i) {
            AppDevice* device =
                VelqApp_CreateDevice(session_->session(), ("POOL-" + QByteArray::number(i)).constData());
            QVERIFY(device);
            all << device;
            created.insert(device);
        }
        QCOMPARE(int(created.size()), int(all.size()));
        for (AppDevice* device : listed) QVERIFY(created.contains(device));
        for (AppDevice* device : all) VelqDev_Release(device);

        // Showing the panel again asks for a new list.
        ShowPanel();
        QTRY_COMPARE_WITH_TIMEOUT(panel().vehicleCount(), 10, 10000);
    }
};

QTEST_MAIN(SearchDlgTest)
#include "search_dlg_test.moc"
