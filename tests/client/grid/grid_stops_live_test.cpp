// SPDX-License-Identifier: GPL-3.0-or-later
// Channels of the grid stop off the UI thread, against the simulated platform. The stopper's worker is held
// busy by a stop that ends only when the test says (as a transfer thread slow to end under load would hold
// it): closing a tile and leaving a page by cycling return while the channel's stop is still pending, and
// the same camera played again, or its page shown again, starts only once that stop has ended. Logout
// and the audio stop return the same way, and a login or audio start waits for them.
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <chrono>
#include <future>
#include <memory>

#include "../client_fixture.h"
#include "app/channel_stopper.h"
#include "app/session_controller.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "shell/app_main_dlg.h"

namespace {

// Holds the stopper's worker until opened, or until `opens_after` has passed (so that a call that waits
// for the worker on the UI thread comes back late instead of never). The job on the worker shares what it
// touches, so that the holder may go (a test ending or failing) while the worker is still waking up.
class HeldWorker {
  public:
    explicit HeldWorker(ChannelStopper& stopper,
                        std::chrono::milliseconds opens_after = std::chrono::milliseconds::max()) {
        stopper.Stop({nullptr, 0}, [state = state_, opened = opened_, opens_after] {
            state->entered = true;
            if (opens_after == std::chrono::milliseconds::max())
                opened.wait();
            else if (opened.wait_for(opens_after) == std::future_status::timeout)
                state->timed_out = true;
        });
    }
    bool timedOut() const { return state_->timed_out; }
    ~HeldWorker() { Open(); }
    bool entered() const { return state_->entered; }
    void Open() {
        if (!open_) open_promise_.set_value();
        open_ = true;
    }

  private:
    struct State {
        std::atomic<bool> entered{false};
        std::atomic<bool> timed_out{false};
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::promise<void> open_promise_;
    std::shared_future<void> opened_ = open_promise_.get_future().share();
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
    // Plays camera 1 of MDVR-10001 through the Play command and records it in its tile (`tile`).
    void PlayAndRecord(CAppMainDlg& window, CDevShowDlg*& tile) {
        ChannelActions& actions = ActionsOf(window);
        QTreeWidgetItem* node = Node(TreeOf(window), 1);
        window.SelectDeviceNode(node);
        actions.Run(kCommandPlay);
        tile = static_cast<CDevShowDlg*>(GridOf(window)->Model().FindWindowOfNode(node));
        QVERIFY(tile && Plays(tile));
        GridOf(window)->Model().SelectWindow(0, tile);
        window.SelectDeviceNode(node);
        actions.Run(kCommandRecord);
        QTRY_VERIFY(VelqChn_IsRecording(tile->channel));
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
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QCOMPARE(GridOf(window)->Model().BoundCount(), 0);
        DevTree* tree = TreeOf(window);
        GridModel& model = GridOf(window)->Model();
        ChannelStopper& stopper = window_fixture.session().stopper();
        window.SelectDeviceNode(Node(tree, 1));
        ActionsOf(window).Run(kCommandPlay);
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
        ActionsOf(window).Run(kCommandPlay);
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
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        QCOMPARE(GridOf(window)->Model().BoundCount(), 0);
        DevTree* tree = TreeOf(window);
        PageTab* grid = GridOf(window);
        GridModel& model = grid->Model();
        ChannelStopper& stopper = window_fixture.session().stopper();
        window.SelectDeviceNode(Node(tree, 1));
        ActionsOf(window).Run(kCommandPlay);
        // The second on a page of its own: dropped on "New Page".
        QVERIFY(model.DropChannel(Node(tree, 2), 0, 0, true));
        QCOMPARE(model.Pages(), 2);
        auto* first = static_cast<CDevShowDlg*>(model.Windows()[0]);
        QVERIFY(Plays(first));
        const ChannelStopper::Key camera = ChannelStopper::KeyOf(first->channel);
        model.SelectWindow(0, first);
        // Cycling is armed for one step at a time: the window's own one-second timer ticks the cycle
        // too, and a page switch of its own while the test waits would stop page 1 again.
        const auto cycle_once = [&model] {
            model.SetCycleSettings(1, 0, 0);
            model.StartCycling();
            model.CycleTick();
            model.StopCycling();
        };

        HeldWorker held(stopper);
        QTRY_VERIFY(held.entered());
        cycle_once();  // page 1 -> page 2: page 1's source stop is handed over
        QCOMPARE(model.CurrentPage(), 1);
        QVERIFY(stopper.Pending(camera));
        QVERIFY(VelqChn_IsVSourceRunning(first->channel));  // the worker has not reached it
        cycle_once();  // back to page 1: its source start waits for the stop
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
    }

    // Logout with a stop still pending returns at once; a login pressed meanwhile waits for the library's
    // logout (never racing it) and then lists the fleet again.
    void logoutAndLoginAgainWhileAStopIsPending() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        SessionController& session = window_fixture.session();
        window.SelectDeviceNode(Node(tree, 1));
        ActionsOf(window).Run(kCommandPlay);
        auto* tile = static_cast<CDevShowDlg*>(GridOf(window)->Model().FindWindowOfNode(Node(tree, 1)));
        QVERIFY(tile && Plays(tile));

        HeldWorker held(session.stopper(), std::chrono::seconds(5));
        QTRY_VERIFY(held.entered());
        QElapsedTimer took;
        took.start();
        window.LogoutCleanup();
        const qint64 logout_ms = took.elapsed();
        qInfo("Logout took %lld ms on the UI thread", logout_ms);
        QVERIFY(!held.timedOut());  // it did not wait for the worker
        QVERIFY(!session.LoggedIn());
        QVERIFY(session.LoggingOut());
        QCOMPARE(GridOf(window)->Model().BoundCount(), 0);

        window.PressLogin();
        QTest::qWait(300);
        QVERIFY(session.LoggingOut());  // the login waits behind the logout
        held.Open();
        QSignalSpy logged_out(&session, &SessionController::loggedOut);
        QTRY_VERIFY_WITH_TIMEOUT(logged_out.count() == 1, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(session.LoggedIn(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(Node(tree, 1) != nullptr, 20000);
    }

    // The recording button's stop returns while the file is still being closed on the worker; the tile's
    // recording counts as stopped at once.
    void recordingStopsOnTheWorker() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        CDevShowDlg* tile = nullptr;
        PlayAndRecord(window, tile);
        if (QTest::currentTestFailed()) return;
        ChannelActions& actions = ActionsOf(window);
        QTreeWidgetItem* node = Node(TreeOf(window), 1);
        QVERIFY(actions.FactsFor(node).activeRecording);

        HeldWorker held(window_fixture.session().stopper(), std::chrono::seconds(5));
        QTRY_VERIFY(held.entered());
        actions.Run(kCommandRecord);
        QVERIFY(!held.timedOut());
        QVERIFY(!actions.FactsFor(node).activeRecording);
        QVERIFY(VelqChn_IsRecording(tile->channel));  // the worker has not reached it
        held.Open();
        QTRY_VERIFY_WITH_TIMEOUT(!VelqChn_IsRecording(tile->channel), 15000);
    }

    // Logout and Exit ask only for the recordings that would be lost: one whose stop was handed to the
    // worker no longer counts, though the library still reports it recording until the worker gets to it.
    void aRecordingBeingStoppedIsNotAskedAbout() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        CDevShowDlg* tile = nullptr;
        PlayAndRecord(window, tile);
        if (QTest::currentTestFailed()) return;
        ChannelActions& actions = ActionsOf(window);
        // The question is asked while recording: answered No, Logout does not go on.
        int asked = 0;
        const auto answerNo = [&asked] {
            QTimer::singleShot(100, [&asked] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    ++asked;
                    box->button(QMessageBox::No)->click();
                }
            });
        };
        answerNo();
        QVERIFY(!window.ConfirmLosingRecordings());
        QCOMPARE(asked, 1);

        HeldWorker held(window_fixture.session().stopper(), std::chrono::seconds(5));
        QTRY_VERIFY(held.entered());
        actions.Run(kCommandRecord);
        QVERIFY(VelqChn_IsRecording(tile->channel));  // the worker has not reached it
        answerNo();
        QVERIFY(window.ConfirmLosingRecordings());
        QTest::qWait(200);  // a question would have been answered by now
        QCOMPARE(asked, 1);
        QVERIFY(!held.timedOut());
    }

    // Audio off returns while its stop is pending and counts as off at once; on again, it plays once the
    // stop has ended (started before, the stop would have ended it again).
    void audioOffAndOnWhileTheStopIsPending() {
        QFile::remove(home_.path() + QStringLiteral("Workspace.ini"));
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        ChannelActions& actions = ActionsOf(window);
        ChannelStopper& stopper = window_fixture.session().stopper();
        QTreeWidgetItem* node = Node(tree, 1);
        window.SelectDeviceNode(node);
        actions.Run(kCommandAudio);
        AppChannel* audio = tree->EntryOf(node)->audio_channel;
        QVERIFY(audio);
        QTRY_VERIFY_WITH_TIMEOUT(VelqChn_IsAudioPlaying(audio), 10000);
        QVERIFY(actions.FactsFor(node).audioPlaying);

        HeldWorker held(stopper, std::chrono::seconds(5));
        QTRY_VERIFY(held.entered());
        QElapsedTimer took;
        took.start();
        actions.Run(kCommandAudio);
        qInfo("Audio off took %lld ms on the UI thread", took.elapsed());
        QVERIFY(!held.timedOut());
        QVERIFY(!actions.FactsFor(node).audioPlaying);  // the menu offers Audio on again
        QVERIFY(VelqChn_IsAudioPlaying(audio));         // the worker has not reached the stop
        actions.Run(kCommandAudio);                     // on again: waits for the stop
        QTest::qWait(200);
        held.Open();
        QTRY_VERIFY_WITH_TIMEOUT(actions.FactsFor(node).audioPlaying, 15000);
        QVERIFY(VelqChn_IsAudioPlaying(audio));
    }
};

QTEST_MAIN(GridStopsLiveTest)
#include "grid_stops_live_test.moc"
