// SPDX-License-Identifier: GPL-3.0-or-later
// The device configuration dialog against velq-sim: settings read, written and read back, a result of
// another channel ignored, a refused operation on the status line, and the camera commands a held button
// sends (read from the simulator's camera log): the move on the press, the stop on the release and
// nothing after it.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include "dialogs/dev_config_dlg.h"
#include "dialogs_fixture.h"
#include "grid/channel_actions.h"
#include "shell/main_dialogs.h"

class DevConfigDlgTest : public QObject {
    Q_OBJECT
    SimWithWeb sim_;
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;
    std::unique_ptr<MainWindowFixture> window_fixture_;
    CAppMainDlg* window_ = nullptr;
    AppDevice* device_ = nullptr;

    CDevConfigDlg& dialog() { return *window_->findChild<CDevConfigDlg*>(); }
    // Writes a channel setting of MDVR-10001 straight into the simulated fleet.
    void Store(int channel, uint32_t write_code, int32_t value) {
        corvel::ControlRecord request, reply;
        request.set_id("MDVR-10001");
        request.channel = channel;
        request.code = write_code;
        request.value = value;
        QVERIFY(sim_.center().fleet().Control(request, &reply) == velq_sim::FleetAnswer::kOk);
    }
    int32_t Stored(int channel, uint32_t write_code) {
        const auto vehicle = sim_.center().fleet().Find("MDVR-10001");
        const auto it = vehicle->settings.find({channel, write_code});
        return it == vehicle->settings.end() ? -1 : it->second;
    }

  private slots:
    void initTestCase() {
        QVERIFY(sim_.started());
        home_.WriteFile(QStringLiteral("Config.ini"),
                        "[Tavrin]\n" + sim_.ConfigLines() + "ShowResolutionConfig=1\n");
        client_ = home_.StartClient();
        window_fixture_ = std::make_unique<MainWindowFixture>(*client_);
        window_ = &window_fixture_->window();
        LogIn(*window_);
        device_ = TreeDevice(*window_, "MDVR-10001");
        QVERIFY(device_);
    }
    void cleanupTestCase() {
        window_ = nullptr;
        window_fixture_.reset();
    }

    void configCommandOfAChannelNodeOpensTheDialogForIt() {
        QTreeWidgetItem* device_node = TreeOf(*window_)->Entry(VelqDev_GetUserData(device_))->item;
        TreeOf(*window_)->setCurrentItem(device_node->child(1));
        ActionsOf(*window_).Run(32775);
        QVERIFY(dialog().isVisible());
        QCOMPARE(dialog().channel(), 2);
        QCOMPARE(dialog().windowTitle(),
                 device_node->text(0) + ": " + device_node->child(1)->text(0) + " Device Config Dialog");
        dialog().Close();
    }

    void readsFillTheListsAndOtherChannelsAreIgnored() {
        Store(1, 14, 2);            // quality High
        Store(1, 16, 1024 * 1024);  // 1024 kbps
        Store(1, 10, 3);            // Half D1
        Store(2, 14, 5);
        dialog().Open(device_, 1);
        QVERIFY(dialog().isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(dialog().status(), QStringLiteral("Get Device Config Completed!"), 10000);
        QCOMPARE(dialog().qualityList()->currentIndex(), 1);
        QCOMPARE(dialog().bitRateList()->currentText(), QStringLiteral("1024 kbps"));
        QCOMPARE(dialog().resolutionList()->currentIndex(), 2);
        QVERIFY(dialog().resolutionList()->isVisible());
        QCOMPARE(dialog().frameRateEdit()->text(), QStringLiteral("25"));

        // A read of channel 2 of the same device comes back to the dialog and changes nothing.
        const uint32_t before = sim_.center().requests_of_type(134);
        QVERIFY(VelqOpt_QueryControl(device_, 133, 2, 0, 0));
        QTRY_VERIFY_WITH_TIMEOUT(sim_.center().requests_of_type(134) > before, 5000);
        QTest::qWait(300);
        QCOMPARE(dialog().qualityList()->currentIndex(), 1);

        // A bit rate that is no entry of the table selects nothing, not the entry of its kbit/s.
        Store(1, 16, 1024 * 1024 + 1);
        QTest::mouseClick(dialog().button(CDevConfigDlg::kRefresh), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog().status(), QStringLiteral("Get Device Config Completed!"), 10000);
        QCOMPARE(dialog().bitRateList()->currentIndex(), -1);
    }

    void applyWritesAndAnOverlongFrameRateIsRefused() {
        dialog().Open(device_, 1);
        QTRY_COMPARE_WITH_TIMEOUT(dialog().status(), QStringLiteral("Get Device Config Completed!"), 10000);
        dialog().bitRateList()->setCurrentIndex(dialog().bitRateList()->findText(QStringLiteral("512 kbps")));
        dialog().qualityList()->setCurrentIndex(4);
        dialog().frameRateEdit()->setText(QStringLiteral("12"));
        // Quality, frame rate and bit rate are written, and the resolution once its read has come back.
        const uint32_t writes_of_apply = dialog().resolutionList()->currentIndex() >= 0 ? 4 : 3;
        const uint32_t before_apply = sim_.center().requests_of_type(134);
        QTest::mouseClick(dialog().button(CDevConfigDlg::kApply), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Stored(1, 12), 12, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(Stored(1, 16), 512 * 1024, 10000);
        QCOMPARE(Stored(1, 14), 5);
        QTRY_COMPARE_WITH_TIMEOUT(dialog().status(), QStringLiteral("Set Device Config Completed!"), 10000);
        // The frame rate's result may come back before the last write has reached the device.
        QTRY_COMPARE_WITH_TIMEOUT(sim_.center().requests_of_type(134), before_apply + writes_of_apply, 10000);

        // Thirty digits pasted, then 0, 31 and 99 (with Save): the message, on the status line too, and
        // nothing sent for the frame rate, while the other settings are still written.
        const char* const bad_rates[] = {"123456789012345678901234567890", "0", "31", "99"};
        const char* const bit_rates[] = {"64 kbps", "96 kbps", "128 kbps", "160 kbps"};
        for (int i = 0; i < 4; ++i) {
            const char* bad = bad_rates[i];
            dialog().frameRateEdit()->clear();
            dialog().frameRateEdit()->insert(QString::fromLatin1(bad));
            dialog().qualityList()->setCurrentIndex(i % 2);
            dialog().bitRateList()->setCurrentIndex(
                dialog().bitRateList()->findText(QString::fromLatin1(bit_rates[i])));
            const uint32_t writes_before = sim_.center().requests_of_type(134);
            const bool save = bad[0] == '9';
            QTest::mouseClick(dialog().button(save ? CDevConfigDlg::kSave : CDevConfigDlg::kApply),
                              Qt::LeftButton);
            auto* box = dialog().findChild<QMessageBox*>();
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("Please input valid FrameRate: 1 ~ 30!"));
            QCOMPARE(dialog().status(), QStringLiteral("Please input valid FrameRate: 1 ~ 30!"));
            QCOMPARE(dialog().isVisible(), !save);  // Save still closes after applying the rest
            delete box;
            QTRY_COMPARE_WITH_TIMEOUT(Stored(1, 16),
                                      QString::fromLatin1(bit_rates[i]).split(' ')[0].toInt() * 1024, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(Stored(1, 14), i % 2 + 1, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(sim_.center().requests_of_type(134),
                                      writes_before + writes_of_apply - 1, 10000);
            QCOMPARE(Stored(1, 12), 12);
        }
        QTest::qWait(300);
        QCOMPARE(Stored(1, 12), 12);
        dialog().Open(device_, 1);
        // The preset edit refuses such a paste outright.
        dialog().presetEdit()->setText(QStringLiteral("7"));
        dialog().presetEdit()->insert(QStringLiteral("123456789012345678901234567890"));
        QCOMPARE(dialog().presetEdit()->text(), QStringLiteral("7"));
    }

    void heldButtonMovesUntilReleasedAndNothingAfter() {
        dialog().Open(device_, 1);
        const size_t start = sim_.center().camera_log().size();
        QAbstractButton* left = dialog().button(1202);
        QTest::mousePress(left, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(sim_.center(), start).size(), size_t(1), 5000);
        QTest::qWait(300);  // held: no further command
        QCOMPARE(CameraLogSince(sim_.center(), start).size(), size_t(1));
        QTest::mouseRelease(left, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(sim_.center(), start).size(), size_t(2), 5000);
        QTest::qWait(500);  // the click after the release sends nothing
        const auto log = CameraLogSince(sim_.center(), start);
        QCOMPARE(log.size(), size_t(2));
        QVERIFY2(log[0].find("channel 1 command 3 parameters 0x0000FF") != std::string::npos, log[0].c_str());
        QVERIFY2(log[1].find("channel 1 command 0 parameters 0x0000FF") != std::string::npos, log[1].c_str());
    }

    void closingWhileHeldStillSendsTheStop() {
        dialog().Open(device_, 1);
        const size_t start = sim_.center().camera_log().size();
        QTest::mousePress(dialog().button(1202), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(sim_.center(), start).size(), size_t(1), 5000);
        QTest::keyClick(&dialog(), Qt::Key_Escape);
        QVERIFY(!dialog().isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(sim_.center(), start).size(), size_t(2), 5000);
        const auto log = CameraLogSince(sim_.center(), start);
        QVERIFY2(log[1].find("channel 1 command 0 parameters 0x0000FF") != std::string::npos, log[1].c_str());
        QVERIFY(!dialog().device());
    }

    void spotTogglesAndPresetCarriesItsNumber() {
        dialog().Open(device_, 1);
        const size_t start = sim_.center().camera_log().size();
        for (int i = 0; i < 3; ++i) QTest::mouseClick(dialog().button(1085), Qt::LeftButton);
        dialog().presetEdit()->setText(QStringLiteral("5"));
        QTest::mouseClick(dialog().button(1217), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(CameraLogSince(sim_.center(), start).size(), size_t(4), 5000);
        const auto log = CameraLogSince(sim_.center(), start);
        const char* expected[] = {"command 18 parameters 0x00005C", "command 17 parameters 0x00005C",
                                  "command 18 parameters 0x00005C", "command 18 parameters 0x000005"};
        for (int i = 0; i < 4; ++i) QVERIFY2(log[i].find(expected[i]) != std::string::npos, log[i].c_str());
    }

    void refusedOperationShowsOnTheStatusLineAndCloseForgetsTheDevice() {
        dialog().Open(device_, 1);
        QTRY_COMPARE_WITH_TIMEOUT(dialog().status(), QStringLiteral("Get Device Config Completed!"), 10000);
        velq_sim::CenterFaults faults;
        faults.refuse_requests = true;
        sim_.center().set_faults(faults);
        QTest::mouseClick(dialog().button(CDevConfigDlg::kRefresh), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog().status(), QStringLiteral("Operate Failed"), 10000);
        sim_.center().set_faults({});
        QTest::keyClick(&dialog(), Qt::Key_Escape);
        QVERIFY(!dialog().isVisible());
        QVERIFY(!dialog().device());
        // Without a device nothing is sent.
        const size_t start = sim_.center().camera_log().size();
        QTest::mouseClick(dialog().button(1199), Qt::LeftButton);
        QTest::qWait(300);
        QCOMPARE(CameraLogSince(sim_.center(), start).size(), size_t(0));
    }
};

QTEST_MAIN(DevConfigDlgTest)
#include "dev_config_dlg_test.moc"
