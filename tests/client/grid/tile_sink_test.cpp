// SPDX-License-Identifier: GPL-3.0-or-later
// A tile's picture sink: pictures that come after the tile is gone (a video thread that outlived its stop
// time-out) are dropped and never reach the deleted tile; the session keeps the sink alive until it ends.
// Meant to run clean under valgrind as well (scripts or by hand: valgrind --error-exitcode=1 ...).
#include <QTest>
#include <QWidget>
#include <atomic>
#include <thread>
#include <vector>

#include "../client_fixture.h"
#include "app/session_controller.h"
#include "grid/dev_show_dlg.h"
#include "grid/tile_sink.h"
#include "test_picture.h"

using corvel::test::TestPicture;

class TileSinkTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;

  private slots:
    void initTestCase() { client_ = home_.StartClient(); }

    void pictureAfterTheTileIsGoneIsDropped() {
        QWidget area;
        area.resize(320, 240);
        auto* tile = new CDevShowDlg(&area);
        const std::shared_ptr<TileSink> sink = tile->Sink();
        TestPicture frame;
        QCOMPARE(sink->PresentPicture(frame.picture), VELQ_PRESENT_OK);
        QCOMPARE(tile->Stats().presented, uint64_t(1));
        QVERIFY(sink->attached());
        delete tile;
        QVERIFY(!sink->attached());
        // The late picture and a late transfer status: handled as shown, reaching nothing.
        QCOMPARE(sink->PresentPicture(frame.picture), VELQ_PRESENT_OK);
        sink->PostMessage(CDevShowDlg::kStatusMessage, VELQ_EV_MEDIA_FAILED, 0);
        QCOMPARE(sink->dropped(), uint64_t(2));
        QCoreApplication::processEvents();  // a repaint queued for the tile is gone with it
    }

    // A video thread presents without pause while the UI thread destroys the tile, and goes on after.
    void videoThreadRacingTheTeardown() {
        QWidget area;
        auto* tile = new CDevShowDlg(&area);
        const std::shared_ptr<TileSink> sink = tile->Sink();
        std::atomic<bool> stop{false};
        std::atomic<int> presented{0};
        std::thread video([&] {
            TestPicture frame(64, 48);
            while (!stop.load()) {
                if (sink->PresentPicture(frame.picture) != VELQ_PRESENT_OK) return;
                ++presented;
            }
        });
        QTRY_VERIFY(presented.load() > 50);
        delete tile;
        const int at_teardown = presented.load();
        QTRY_VERIFY(presented.load() > at_teardown + 50);
        stop = true;
        video.join();
        QVERIFY(sink->dropped() >= 50);
        QCoreApplication::processEvents();
    }

    // A channel still stopping after its tile was detached and bound to the next channel: its late
    // pictures go nowhere, the new channel's are shown.
    void latePictureOfTheChannelBefore() {
        QWidget area;
        CDevShowDlg tile(&area);
        tile.BeginChannel(QStringLiteral("AB-3127"), QStringLiteral("1"));
        const std::shared_ptr<TileSink> before = tile.Sink();
        TestPicture frame;
        QCOMPARE(before->PresentPicture(frame.picture), VELQ_PRESENT_OK);
        QCOMPARE(tile.Stats().presented, uint64_t(1));
        tile.DetachChannel();
        QVERIFY(!tile.HasPicture());
        tile.BeginChannel(QStringLiteral("AB-3128"), QStringLiteral("2"));
        QVERIFY(tile.Sink() != before);
        QCOMPARE(before->PresentPicture(frame.picture), VELQ_PRESENT_OK);
        QCOMPARE(tile.Stats().presented, uint64_t(1));
        QVERIFY(!tile.HasPicture());
        QCOMPARE(before->dropped(), uint64_t(1));
        QCOMPARE(tile.Sink()->PresentPicture(frame.picture), VELQ_PRESENT_OK);
        QCOMPARE(tile.Stats().presented, uint64_t(2));
    }

    // The session holds what its channels present into until it is destroyed, once per sink.
    void sessionKeepsTheSinkUntilItEnds() {
        std::weak_ptr<TileSink> weak;
        {
            SessionController session;
            {
                QWidget area;
                auto* tile = new CDevShowDlg(&area);
                weak = tile->Sink();
                session.Keep(tile->Sink());
                session.Keep(tile->Sink());
                QCOMPARE(session.kept(), size_t(1));
            }  // the tile is gone with its area
            QVERIFY(!weak.expired());
            TestPicture frame;
            QCOMPARE(weak.lock()->PresentPicture(frame.picture), VELQ_PRESENT_OK);
        }
        QVERIFY(weak.expired());
    }
};

QTEST_MAIN(TileSinkTest)
#include "tile_sink_test.moc"
