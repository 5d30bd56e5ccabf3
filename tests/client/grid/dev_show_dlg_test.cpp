// SPDX-License-Identifier: GPL-3.0-or-later
// The display window: pictures from other threads, the size rule of a floating window, docking, Escape and
// the transfer status, the latter against a channel of the simulated platform.
#include <QLabel>
#include <QPainter>
#include <QtTest>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "../client_fixture.h"
#include "corvel/corvel.h"
#include "grid/dev_show_dlg.h"
#include "test_picture.h"

namespace {

using corvel::test::TestPicture;

// Pictures as the presenter hands them over: rows padded by 16 bytes unless a test says otherwise.
constexpr int kPadding = 16;

// The session's event window: keeps devices and events, from any thread.
class EventSink : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t code, intptr_t value) override {
        std::lock_guard lock(mutex);
        codes.push_back(code);
        if (code == VELQ_EV_DEVICE_NEW) devices.push_back(reinterpret_cast<AppDevice*>(value));
    }
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }
    bool Has(uintptr_t code) {
        std::lock_guard lock(mutex);
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
    AppDevice* Device(const char* id) {
        std::lock_guard lock(mutex);
        for (AppDevice* d : devices) {
            char text[64] = {};
            if (VelqDev_GetDevInfo(d, VELQ_DEV_ID, text, sizeof(text)) > 0 && QByteArray(text) == id)
                return d;
        }
        return nullptr;
    }
    std::mutex mutex;
    std::vector<uintptr_t> codes;
    std::vector<AppDevice*> devices;
};

QRgb PixelAtCentre(QWidget& w) {
    const QImage image = w.grab().toImage();
    return image.pixel(image.width() / 2, image.height() / 2) & 0xffffff;
}

}  // namespace

class DevShowDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void picturesFromAThreadNeverWaitForTheUi() {
        QWidget area;
        area.resize(400, 300);
        CDevShowDlg dlg(&area);
        dlg.setGeometry(1, 1, 200, 150);
        dlg.show();
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));

        // The UI thread handles no event while the pictures arrive: the producer must still finish.
        auto producer = std::async(std::launch::async, [&dlg] {
            TestPicture red(64, 48, qRgb(255, 0, 0), kPadding), blue(64, 48, qRgb(0, 0, 255), kPadding);
            for (int i = 0; i < 300; ++i) {
                if (dlg.PresentPicture((i % 2 ? blue : red).picture) != VELQ_PRESENT_OK) return false;
            }
            return true;
        });
        QCOMPARE(producer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        QVERIFY(producer.get());
        QCOMPARE(dlg.Stats().presented, 300u);
        QVERIFY(dlg.Stats().painted == 0);
        // The newest picture (blue) is what the window paints, stretched over its whole area.
        QTRY_VERIFY(dlg.Stats().painted >= 1);
        QCOMPARE(PixelAtCentre(dlg), qRgb(0, 0, 255) & 0xffffff);
        QCOMPARE(dlg.CurrentPicture().size(), QSize(64, 48));
        const QImage whole = dlg.grab().toImage();
        QCOMPARE(whole.pixel(0, 0) & 0xffffff, qRgb(0, 0, 255) & 0xffffff);
        QCOMPARE(whole.pixel(whole.width() - 1, whole.height() - 1) & 0xffffff, qRgb(0, 0, 255) & 0xffffff);
        const auto stats = dlg.Stats();
        QCOMPARE(stats.painted + stats.replaced_unpainted, stats.presented);

        // A picture of another size replaces it; a window released shows its background again.
        TestPicture green(352, 288, qRgb(0, 255, 0), 0);
        QCOMPARE(dlg.PresentPicture(green.picture), VELQ_PRESENT_OK);
        QTRY_COMPARE(PixelAtCentre(dlg), qRgb(0, 255, 0) & 0xffffff);
        dlg.SetColors(QColor(10, 20, 30), Qt::white);
        dlg.ReleaseChannel();
        QVERIFY(!dlg.HasPicture());
        QCOMPARE(PixelAtCentre(dlg), qRgb(10, 20, 30) & 0xffffff);
    }

    // The label strip at the top left: marks alone, then the vehicle, channel and clock on a translucent
    // backing; hidden by the option; gone with the channel.
    void labelAndMarks() {
        QWidget area;
        area.resize(300, 200);
        CDevShowDlg dlg(&area);
        dlg.setGeometry(0, 0, 200, 150);
        dlg.show();
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        TestPicture blue(32, 24, qRgb(0, 0, 255), kPadding);
        QCOMPARE(dlg.PresentPicture(blue.picture), VELQ_PRESENT_OK);
        QTRY_VERIFY(dlg.Stats().painted >= 1);
        const auto at = [&dlg](int x, int y) { return QColor(dlg.grab().toImage().pixel(x, y)); };
        QVERIFY(dlg.LabelRect().isEmpty());
        QCOMPARE(at(10, 10), QColor(0, 0, 255));
        dlg.SetMarks(true, false);
        QRect strip = dlg.LabelRect();
        QVERIFY(strip.width() > 10 && strip.width() < 30);
        const int y = strip.center().y();
        QVERIFY(at(strip.left() + 9, y).red() > 180 && at(strip.left() + 9, y).blue() < 80);
        // Speaker, then the green microphone of an open talk channel.
        dlg.SetMarks(true, true, true);
        QCOMPARE(dlg.LabelRect().width(), strip.width() + 2 * 14);
        QVERIFY(at(strip.left() + 4 + 14 + 1, y).green() > 200);
        const QColor mic = at(strip.left() + 4 + 28 + 5, dlg.LabelRect().top() + 6);
        QVERIFY2(mic.green() > 150 && mic.blue() < 150, qPrintable(mic.name()));
        QCOMPARE(at(150, 100), QColor(0, 0, 255));  // the rest of the picture untouched

        dlg.BeginChannel(QStringLiteral("AB-3127"), QStringLiteral("CH2"));
        QCOMPARE(dlg.PresentPicture(blue.picture), VELQ_PRESENT_OK);
        QTRY_VERIFY(dlg.Stats().painted >= 2);
        strip = dlg.LabelRect();
        QVERIFY(strip.width() > 100);
        const QImage shot = dlg.grab().toImage();
        // The backing darkens the picture; the text on it is light.
        const QColor backing(shot.pixel(strip.left() + 1, strip.top() + 1));
        QVERIFY2(backing.blue() > 60 && backing.blue() < 140 && backing.red() < 20,
                 qPrintable(backing.name()));
        int light = 0;
        for (int x = strip.left(); x < strip.left() + 60; ++x) {
            for (int yy = strip.top(); yy <= strip.bottom(); ++yy)
                light += QColor(shot.pixel(x, yy)).red() > 150;
        }
        QVERIFY(light > 20);
        dlg.SetShowLabel(false);
        QCOMPARE(dlg.LabelRect().width(), 8 + 3 * 14);
        dlg.SetShowLabel(true);
        dlg.ReleaseChannel();
        QVERIFY(dlg.LabelRect().isEmpty());
        QCOMPARE(dlg.Marks(), TileMarks());
        QCOMPARE(at(10, 10), QColor(0, 0, 0));
        // A released window refuses the late pictures of its channel until the next one is bound.
        QCOMPARE(dlg.PresentPicture(blue.picture), VELQ_PRESENT_OK);
        QVERIFY(!dlg.HasPicture());
        dlg.BeginChannel(QStringLiteral("AB-3127"), QStringLiteral("CH3"));
        QCOMPARE(dlg.PresentPicture(blue.picture), VELQ_PRESENT_OK);
        QVERIFY(dlg.HasPicture());
    }

    // The picture keeps its aspect in the background's bars; stretched on request. The wheel zooms around
    // the cursor, Ctrl+double-click resets.
    void letterboxAndZoom() {
        QWidget area;
        area.resize(400, 200);
        CDevShowDlg dlg(&area);
        dlg.SetColors(QColor(10, 20, 30), Qt::white);
        dlg.setGeometry(0, 0, 300, 150);
        dlg.show();
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        // Every pixel of the picture names its place: red = x * 4, green = y * 4.
        TestPicture gradient(64, 48, 0, kPadding);
        for (int yy = 0; yy < 48; ++yy) {
            for (int x = 0; x < 64; ++x) {
                uint8_t* p = gradient.bytes.data() + yy * gradient.picture.stride[0] + x * 4;
                p[0] = 0, p[1] = uint8_t(yy * 4), p[2] = uint8_t(x * 4);
            }
        }
        QCOMPARE(dlg.PresentPicture(gradient.picture), VELQ_PRESENT_OK);
        QTRY_VERIFY(dlg.Stats().painted >= 1);
        QCOMPARE(dlg.PictureRect(), QRect(50, 0, 200, 150));
        const auto at = [&dlg](int x, int y) { return QColor(dlg.grab().toImage().pixel(x, y)); };
        QCOMPARE(at(10, 75), QColor(10, 20, 30));
        QCOMPARE(at(290, 75), QColor(10, 20, 30));
        QCOMPARE(at(50, 0), QColor(0, 0, 0));  // the picture's corner pixel
        const QPoint cursor(200, 100);
        const QColor before = at(cursor.x(), cursor.y());
        QWheelEvent wheel(cursor, dlg.mapToGlobal(cursor), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&dlg, &wheel);
        QCOMPARE(dlg.View().Zoom(), 1.25 * 1.25);
        const QColor after = at(cursor.x(), cursor.y());
        QVERIFY2(qAbs(after.red() - before.red()) <= 4 && qAbs(after.green() - before.green()) <= 4,
                 qPrintable(before.name() + after.name()));
        QVERIFY(at(51, 75).red() > 40);  // the left edge now shows a part further right
        QTest::mouseDClick(&dlg, Qt::LeftButton, Qt::ControlModifier, cursor);
        QVERIFY(!dlg.View().Zoomed());
        QVERIFY(!dlg.floating);
        dlg.SetKeepAspect(false);
        QCOMPARE(dlg.PictureRect(), QRect(0, 0, 300, 150));
        QCOMPARE(at(10, 75).blue(), 0);
    }

    void malformedPicturesAreRefused() {
        QWidget area;
        CDevShowDlg dlg(&area);
        TestPicture p(16, 16, qRgb(1, 2, 3), kPadding);
        VelqPicture bad = p.picture;
        bad.stride[0] = 16 * 4 - 1;
        QCOMPARE(dlg.PresentPicture(bad), VELQ_PRESENT_FAILED);
        bad = p.picture;
        bad.plane[0] = nullptr;
        QCOMPARE(dlg.PresentPicture(bad), VELQ_PRESENT_FAILED);
        bad = p.picture;
        bad.width = -5;
        QCOMPARE(dlg.PresentPicture(bad), VELQ_PRESENT_FAILED);
        bad = p.picture;
        bad.format = VELQ_PIX_YV12;
        QCOMPARE(dlg.PresentPicture(bad), VELQ_PRESENT_FAILED);
        QCOMPARE(dlg.Stats().presented, 0u);
        QVERIFY(!dlg.HasPicture());
    }

    void undockSizeRule() {
        const QSize grid(773, 462);
        QCOMPARE(CDevShowDlg::UndockClientSize(352, 288, grid), QSize(704, 576));
        QCOMPARE(CDevShowDlg::UndockClientSize(640, 480, grid), QSize(640, 480));
        QCOMPARE(CDevShowDlg::UndockClientSize(639, 480, grid), QSize(1278, 960));
        QCOMPARE(CDevShowDlg::UndockClientSize(0, 288, grid), grid);
        QCOMPARE(CDevShowDlg::UndockClientSize(352, 0, grid), grid);
    }

    void floatsAndDocksBack() {
        QWidget area;
        area.resize(500, 400);
        area.show();
        CDevShowDlg dlg(&area);
        dlg.docked_rect = {1, 1, 250, 200};
        dlg.Dock();
        dlg.show();
        QSignalSpy docked(&dlg, &CDevShowDlg::Docked);
        QSignalSpy activated(&dlg, &CDevShowDlg::Activated);

        // Escape in a docked window leaves it docked in place.
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.floating);
        QCOMPARE(dlg.parentWidget(), &area);
        QCOMPARE(dlg.geometry(), QRect(1, 1, 249, 199));

        // A double-click floats it; without a channel it takes the grid area's size.
        QTest::mouseDClick(&dlg, Qt::LeftButton);
        QVERIFY(dlg.floating);
        QVERIFY(dlg.isWindow());
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.size(), area.size());
        // Escape docks it again, as does closing it; a second double-click floats, a third docks.
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.floating);
        QCOMPARE(dlg.parentWidget(), &area);
        QCOMPARE(dlg.geometry(), QRect(1, 1, 249, 199));
        QTest::mouseDClick(&dlg, Qt::LeftButton);
        QVERIFY(dlg.isWindow());
        dlg.close();
        QVERIFY(!dlg.floating);
        QVERIFY(!dlg.isWindow());
        QCOMPARE(docked.count(), 2);
        QTest::mouseClick(&dlg, Qt::LeftButton);
        QCOMPARE(activated.count(), 1);
        QVERIFY(!dlg.floating);

        QSignalSpy menu(&dlg, &CDevShowDlg::MenuRequested);
        QTest::mousePress(&dlg, Qt::RightButton);
        QCOMPARE(menu.count(), 1);
    }

    // A real channel of the simulated platform drawing into the window.
    void transferStatusAndVideoOfAChannel() {
        const auto platform = StartSimPlatform();
        QVERIFY(platform);
        velq_sim::SimPlatform& sim = *platform;
        EventSink sink;
        AppSession* session = VelqApp_Construct(&sink, VELQ_MESSAGE);
        QVERIFY(session);
        QCOMPARE(
            VelqApp_SetCenterServer(session, "127.0.0.1", sim.center().tcp_port(), sim.center().udp_port()),
            1);
        QCOMPARE(VelqApp_Login(session, "orvi", "480913"), 1);
        QTRY_VERIFY_WITH_TIMEOUT(sink.Device("MDVR-10001") != nullptr, 10000);

        QWidget area;
        area.resize(640, 400);
        area.show();
        CDevShowDlg dlg(&area);
        dlg.docked_rect = {1, 1, 320, 200};
        dlg.Dock();
        dlg.show();
        dlg.channel = VelqDev_CreateChannel(sink.Device("MDVR-10001"), 1, &dlg);
        QVERIFY(dlg.channel);
        QCOMPARE(VelqChn_VideoPlay(dlg.channel), 1);

        // Code 194 hides the status line; a following 192 shows it again. Another channel's code is ignored.
        dlg.PostMessage(CDevShowDlg::kStatusMessage, VELQ_EV_MEDIA_ROUTE,
                        reinterpret_cast<intptr_t>(dlg.channel));
        QTRY_VERIFY(dlg.StatusVisible());
        QCOMPARE(dlg.StatusText(), QStringLiteral("Connecting TransfServer..."));
        // At the bottom edge, leaving the label at the top free.
        const QLabel* status = dlg.findChild<QLabel*>();
        QCOMPARE(status->geometry().bottom(), dlg.height() - 1);
        QVERIFY(status->geometry().top() > dlg.height() / 2);
        dlg.PostMessage(CDevShowDlg::kStatusMessage, VELQ_EV_MEDIA_FIRST_FRAME,
                        reinterpret_cast<intptr_t>(dlg.channel));
        QTRY_VERIFY(!dlg.StatusVisible());
        dlg.PostMessage(CDevShowDlg::kStatusMessage, VELQ_EV_MEDIA_FAILED,
                        reinterpret_cast<intptr_t>(dlg.channel));
        QTRY_VERIFY(dlg.StatusVisible());
        QCOMPARE(dlg.StatusText(), QStringLiteral("Source NoData Received!"));
        int other = 0;
        dlg.TransferStatus(VELQ_EV_MEDIA_FIRST_FRAME, reinterpret_cast<AppChannel*>(&other));
        QVERIFY(dlg.StatusVisible());
        dlg.TransferStatus(VELQ_EV_MEDIA_FIRST_FRAME, dlg.channel);
        QVERIFY(!dlg.StatusVisible());

        // Live pictures arrive and are painted; the CIF channel floats at twice its size.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Stats().painted >= 10, 15000);
        intptr_t width = 0;
        QTRY_VERIFY(VelqChn_GetChnInfo(dlg.channel, VELQ_CHN_WIDTH, &width) == 4 && width == 352);
        dlg.Undock();
        QCOMPARE(dlg.size(), QSize(704, 576));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.floating);
        QCOMPARE(dlg.geometry(), QRect(1, 1, 319, 199));

        dlg.ReleaseChannel();
        QVERIFY(!dlg.channel);
        const auto painted = dlg.Stats().presented;
        QTest::qWait(200);
        QCOMPARE(dlg.Stats().presented, painted);
        VelqApp_Logout(session);
        VelqApp_Destruct(session);
    }
};

QTEST_MAIN(DevShowDlgTest)
#include "dev_show_dlg_test.moc"
