// SPDX-License-Identifier: GPL-3.0-or-later
// The device dialog: the device id's length rule, the province controls and the "@" suffix with
// ProvinceOffset, and adding and modifying devices against velq-sim (an added device shows in the tree).
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "dialogs/dev_info_dlg.h"
#include "dialogs_fixture.h"
#include "shell/main_dialogs.h"

class DevInfoDlgTest : public QObject {
    Q_OBJECT
    SimWithWeb sim_;
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;
    std::unique_ptr<MainWindowFixture> window_fixture_;
    CAppMainDlg* window_ = nullptr;

    CDevInfoDlg& dialog() { return *window_->findChild<CDevInfoDlg*>(); }
    // The text of the message box the dialog shows now (closing it), empty when there is none.
    QString TakeMessage() {
        auto* box = dialog().findChild<QMessageBox*>();
        if (!box) return {};
        const QString text = box->text();
        box->close();
        delete box;
        return text;
    }

  private slots:
    void initTestCase() {
        QVERIFY(sim_.started());
        home_.WriteFile(
            QStringLiteral("Config.ini"),
            "[Tavrin]\n" + sim_.ConfigLines() + "ProvinceOffset=1\n[Provinces]\nNorth\nSouth\nEast\nWest\n");
        client_ = home_.StartClient();
        window_fixture_ = std::make_unique<MainWindowFixture>(*client_);
        window_ = &window_fixture_->window();
        LogIn(*window_);
    }
    void cleanupTestCase() {
        window_ = nullptr;
        window_fixture_.reset();
    }

    void shortIdsAreRefusedAndAnAddedDeviceReachesTheTree() {
        window_->findChild<MainMenuBar*>()->commandAction(MainMenuBar::kCmdAddDevice)->trigger();
        QVERIFY(dialog().isVisible());
        QCOMPARE(dialog().okButton()->text(), QStringLiteral("Add"));
        QVERIFY(dialog().provinceCheck()->isVisibleTo(&dialog()));
        QVERIFY(!dialog().provinceList()->isEnabled());
        QCOMPARE(dialog().channelCountList()->currentText(), QStringLiteral("4"));
        QVERIFY(!dialog().channelCountList()->isEnabled());

        dialog().deviceIdEdit()->setText(QStringLiteral("AB1"));
        dialog().okButton()->click();
        QCOMPARE(TakeMessage(), QStringLiteral("DeviceId size must be at 4 ~ 64"));
        QVERIFY(dialog().isVisible());

        const int before = TreeOf(*window_)->EntryCount();
        dialog().deviceIdEdit()->setText(QStringLiteral("AB12"));
        dialog().vehicleIdEdit()->setText(QStringLiteral("NEW-1"));
        dialog().provinceCheck()->click();
        dialog().provinceList()->setCurrentIndex(3);
        dialog().driverEdit()->setText(QStringLiteral("<b>Ada</b>"));
        dialog().okButton()->click();
        QCOMPARE(TakeMessage(), QString());
        QVERIFY(!dialog().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(TreeDevice(*window_, "AB12"), 10000);
        QCOMPARE(TreeOf(*window_)->EntryCount(), before + 1);
        const auto added = sim_.center().fleet().Find("AB12");
        QVERIFY(added);
        QCOMPARE(added->vehicle_id, std::string("NEW-1@4"));
        QCOMPARE(added->driver, std::string("<b>Ada</b>"));
        QCOMPARE(added->channels, 4);
    }

    void modifyingKeepsTheProvinceWithItsOffset() {
        AppDevice* device = TreeDevice(*window_, "MDVR-10002");  // vehicle id "CX-4410@3"
        QVERIFY(device);
        dialog().Open(device);
        QCOMPARE(dialog().okButton()->text(), QStringLiteral("Modify"));
        QCOMPARE(dialog().deviceIdEdit()->text(), QStringLiteral("MDVR-10002"));
        QVERIFY(!dialog().deviceIdEdit()->isEnabled());
        QCOMPARE(dialog().vehicleIdEdit()->text(), QStringLiteral("CX-4410"));
        QVERIFY(dialog().provinceCheck()->isChecked());
        QCOMPARE(dialog().provinceList()->currentIndex(), 2);
        QCOMPARE(dialog().driverEdit()->text(), QStringLiteral("Tomas Brenner"));
        dialog().driverEdit()->setText(QStringLiteral("Tomas Brenner-Ek"));
        dialog().show();
        dialog().okButton()->click();
        QVERIFY(!dialog().device());
        QTRY_COMPARE_WITH_TIMEOUT(sim_.center().fleet().Find("MDVR-10002")->driver,
                                  std::string("Tomas Brenner-Ek"), 10000);
        QCOMPARE(sim_.center().fleet().Find("MDVR-10002")->vehicle_id, std::string("CX-4410@3"));

        // Unchecking the box clears the province: saved without "@".
        dialog().Open(device);
        dialog().provinceCheck()->click();
        QCOMPARE(dialog().provinceList()->currentIndex(), -1);
        dialog().okButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(sim_.center().fleet().Find("MDVR-10002")->vehicle_id,
                                  std::string("CX-4410"), 10000);
    }

    void withoutProvincesTheControlsStayHiddenAndLoggedOutAddsAreRefused() {
        CDevInfoDlg plain(client_->settings, nullptr, {});
        plain.show();
        QVERIFY(!plain.provinceCheck()->isVisible());
        QVERIFY(!plain.provinceList()->isVisible());
        plain.deviceIdEdit()->setText(QStringLiteral("ABCD"));
        plain.okButton()->click();
        auto* box = plain.findChild<QMessageBox*>();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Please login before add device!"));
        QVERIFY(plain.isVisible());
    }
};

QTEST_MAIN(DevInfoDlgTest)
#include "dev_info_dlg_test.moc"
