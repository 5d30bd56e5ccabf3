// SPDX-License-Identifier: GPL-3.0-or-later
// Channels of the grid stop off the UI thread, against the simulated platform. The stopper's worker is held
// busy by a stop that ends only when the test says (as a transfer thread slow to end under load would hold
// it): closing a tile and leaving a page by cycling return while the channel's stop is still pending, and
// the same camera played again, or its page shown again, starts only once that stop has ended.
#include <QtTest>
#include <future>

#include "../client_fixture.h"
#include "app/channel_stopper.h"
#include "app/session_controller.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "shell/app_main_dlg.h"

namespace {

// Holds the stopper's worker until opened.
class HeldWorker {
  public:
    explicit HeldWorker(ChannelStopper& stopper) {
        stopper.Stop({nullptr, 0}, [this] {
            entered_ = true;
            opened_.wait();
        });
    }
    ~HeldWorker() { Open(); }
    bool entered() const { return entered_; }
    void Open() {
        if (!open_) open_promise_.set_value();
        open_ = true;
    }

  private:
    std::promise<void> open_promise_;
    std::shared_future<void> opened_ = open_promise_.get_future().share();
    std::atomic<bool> entered_{false};
    bool open_ = false;
};

}  // namespace

class GridStopsLiveTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    LiveClient live_;

    QTreeWidgetItem* Node(DevTree* tree, int channel) {
        return tree->FindChannelNode(QByteArray("MDVR-10001"), channel);
    }
    static bool Plays(const CDevShowDlg* w) {
        return QTest::qWaitFor([w] { return w->channel && w->Stats().presented >= 5; }, 20000);
    }

  private slots:
    void initTestCase() {
        QVERIFY2(live_.Start(home_, QStringLiteral("SnapshotOpenPath=0\nUIWindowRow=1\nUIWindowCol=1\n")),
                 "velq-sim did not start");
    }
    void cleanupTestCase() { live_.Stop(); }

    void closeAndPlayAgainWhileTheStopIsPending() {
        // An empty grid: not the one the test before left (kept in the workspace file).
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        CAppMainDlg window(live_.client().settings);
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QCOMPARE(window.grid()->Model().BoundCount(), 0);
        DevTree* tree = window.tree();
        GridModel& model = window.grid()->Model();
        ChannelStopper& stopper = window.sessionController().stopper();
        window.SelectDeviceNode(Node(tree, 1));
        window.channelActions().Run(kCommandPlay);
        auto* tile = static_cast<CDevShowDlg*>(model.FindWindowOfNode(Node(tree, 1)));
        QVERIFY(tile && Plays(tile));
        const ChannelStopper::Key camera = ChannelStopper::KeyOf(tile->channel);

        HeldWorker held(stopper);
        QTRY_VERIFY(held.entered());
        QElapsedTimer took;
        took.start();
        model.CloseWindow(tile);
        const qint64 close_ms = took.elapsed();
        // The close has returned, the tile is free, and the channel's stop has not even begun.
        QVERIFY(stopper.Pending(camera));
        QVERIFY(!tile->channel && !tile->channel_item);
        QCOMPARE(model.BoundCount(), 0);
        qInfo("closing the tile took %lld ms on the UI thread", close_ms);

        // Played again: bound at once, but without a channel while the old one is still stopping.
        window.SelectDeviceNode(Node(tree, 1));
        window.channelActions().Run(kCommandPlay);
        auto* again = static_cast<CDevShowDlg*>(model.FindWindowOfNode(Node(tree, 1)));
        QVERIFY(again);
        QTest::qWait(300);
        QVERIFY(!again->channel);
        QVERIFY(stopper.Pending(camera));
        held.Open();
        // The channel is made in the same turn of the event loop that learns of the stop's end.
        QTRY_VERIFY_WITH_TIMEOUT(!stopper.Pending(camera), 15000);
        QVERIFY(again->channel);
        QVERIFY(Plays(again));
    }

    // 1 x 1 with two channels, cycling every second: the page left stops its source on the worker, and
    // the page shown again starts it once that stop ended.
    void cyclingLeavesAndComesBackWhileTheStopIsPending() {
        // An empty grid: not the one the test before left (kept in the workspace file).
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        CAppMainDlg window(live_.client().settings);
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QCOMPARE(window.grid()->Model().BoundCount(), 0);
        DevTree* tree = window.tree();
        PageTab* grid = window.grid();
        GridModel& model = grid->Model();
        ChannelStopper& stopper = window.sessionController().stopper();
        window.SelectDeviceNode(Node(tree, 1));
        window.channelActions().Run(kCommandPlay);
        // The second on a page of its own: dropped on "New Page".
        QVERIFY(model.DropChannel(Node(tree, 2), 0, 0, true));
        QCOMPARE(model.Pages(), 2);
        auto* first = static_cast<CDevShowDlg*>(model.Windows()[0]);
        QVERIFY(Plays(first));
        const ChannelStopper::Key camera = ChannelStopper::KeyOf(first->channel);
        model.SetCycleSettings(1, 0, 0);
        model.StartCycling();
        model.SelectWindow(0, first);

        HeldWorker held(stopper);
        QTRY_VERIFY(held.entered());
        model.CycleTick();  // page 1 -> page 2: page 1's source stop is handed over
        QCOMPARE(model.CurrentPage(), 1);
        QVERIFY(stopper.Pending(camera));
        QVERIFY(VelqChn_IsVSourceRunning(first->channel));  // the worker has not reached it
        model.CycleTick();  // back to page 1: its source start waits for the stop
        QCOMPARE(model.CurrentPage(), 0);
        first->ResetStats();
        QTest::qWait(300);
        QVERIFY(stopper.Pending(camera));
        held.Open();
        // The start runs in the turn of the event loop that learns of the stop's end: had it run before
        // the stop, the source would be stopped now.
        QTRY_VERIFY_WITH_TIMEOUT(!stopper.Pending(camera), 15000);
        QVERIFY(VelqChn_IsVSourceRunning(first->channel));
        QTRY_VERIFY_WITH_TIMEOUT(first->Stats().presented >= 5, 20000);
        model.StopCycling();
    }
};

QTEST_MAIN(GridStopsLiveTest)
#include "grid_stops_live_test.moc"
