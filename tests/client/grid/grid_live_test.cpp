// SPDX-License-Identifier: GPL-3.0-or-later
// The video grid end to end against the simulated platform: log in, open channels by the Play command and
// by a drop, live pictures in the windows, snapshot and record the active one, cycle pages, save the page,
// log out and load it back.
#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QMimeData>
#include <QTabBar>
#include <QtTest>
#include <cmath>

#include "../client_fixture.h"
#include "app/app_settings.h"
#include "dialogs/app_login_dlg.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"
#include "fleet/device_status_list.h"
#include "grid/channel_actions.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "grid/recording_guard.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "platform.h"
#include "shell/app_main_dlg.h"

namespace {

// Mean absolute difference per colour channel of two pictures of the same size (0..255).
double MeanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

bool Drop(PageTab* grid, const QPoint& at, QMimeData* mime) {
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid, &enter);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(grid, &drop);
    delete mime;
    return drop.isAccepted();
}

}  // namespace

class GridLiveTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    LiveClient live_;

    QTreeWidgetItem* Node(DevTree* tree, const char* device_id, int channel) {
        return tree->FindChannelNode(QByteArray(device_id), channel);
    }

    // The four channels of MDVR-10001 by the Play command, each into the empty window clicked first.
    void PlayFourChannels(CAppMainDlg& window) {
        GridModel& model = GridOf(window)->Model();
        for (int ch = 1; ch <= 4; ++ch) {
            model.ActivateWindow(model.Windows()[model.BoundCount()]);
            window.SelectDeviceNode(Node(TreeOf(window), "MDVR-10001", ch));
            ActionsOf(window).Run(kCommandPlay);
        }
    }

  private slots:
    void initTestCase() {
        QVERIFY2(live_.Start(home_, QStringLiteral("SnapshotOpenPath=0\nUIWindowRow=2\nUIWindowCol=2\n")),
                 "velq-sim did not start");
    }
    void cleanupTestCase() { live_.Stop(); }

    void liveGrid() {
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        PageTab* grid = GridOf(window);
        GridModel& model = grid->Model();

        // Four channels by the Play command, each into the empty window the operator clicked first.
        PlayFourChannels(window);
        QCOMPARE(model.BoundCount(), 4);
        QVERIFY(model.HasNewPageTab());
        for (int ch = 1; ch <= 4; ++ch)
            QCOMPARE(model.Windows()[ch - 1]->channel_item, Node(tree, "MDVR-10001", ch));
        QCOMPARE(Node(tree, "MDVR-10001", 1)->icon(0).cacheKey(),
                 tree->ImageIcon(DevTree::kChannelPlaying).cacheKey());

        // A fifth by a drop on "New Page".
        QTreeWidgetItem* fifth = Node(tree, "MDVR-10003", 2);
        QVERIFY(Drop(grid, grid->NewPageTabRect().center(),
                     PageTab::ChannelMime(fifth->parent()->data(0, Qt::UserRole).toInt(), 2)));
        QCOMPARE(model.Pages(), 2);
        QCOMPARE(model.CurrentPage(), 1);
        QCOMPARE(model.Windows()[4]->channel_item, fifth);

        // Pictures arrive in every window; the shown ones are painted.
        const auto windows = grid->Windows();
        for (int i = 0; i < 5; ++i) QTRY_VERIFY_WITH_TIMEOUT(windows[i]->Stats().presented >= 10, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(windows[4]->Stats().painted >= 10, 10000);
        QCOMPARE(windows[4]->CurrentPicture().size(), QSize(352, 288));

        // Back to page 1 by its tab: its windows paint.
        grid->Tabs()->setCurrentIndex(0);
        QCOMPARE(model.CurrentPage(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(windows[1]->Stats().painted >= 10, 10000);

        // The active window's channel: a snapshot matches what the window shows.
        model.SelectWindow(0, windows[1]);
        QTreeWidgetItem* active = Node(tree, "MDVR-10001", 2);
        QCOMPARE(tree->currentItem(), active);
        // The library adds the picture's time to the name: AB-3127-chn02-<time>.bmp.
        const QDir snapshots(live_.client().settings.SnapshotPath);
        const auto named = [](const QDir& dir, const char* pattern) {
            const QStringList found = dir.entryList({QString::fromLatin1(pattern)}, QDir::Files);
            return found.isEmpty() ? QString() : dir.filePath(found.first());
        };
        // Every picture the window gets from the request until the file is written: the snapshot is one of
        // them, pixel for pixel.
        std::vector<QImage> seen;
        const auto watch = [&] {
            const QImage picture = windows[1]->CurrentPicture();
            if (!picture.isNull() && (seen.empty() || picture != seen.back())) seen.push_back(picture);
            QTest::qWait(5);
        };
        ActionsOf(window).Run(kCommandSnapshot);
        for (QElapsedTimer t; t.isValid() ? t.elapsed() < 10000 : (t.start(), true);) {
            watch();
            if (!named(snapshots, "AB-3127-chn02-*.bmp").isEmpty()) break;
        }
        for (int i = 0; i < 20; ++i) watch();
        const QImage written(named(snapshots, "AB-3127-chn02-*.bmp"));
        QCOMPARE(written.size(), QSize(352, 288));
        // The tile names the file for a few seconds.
        const QString written_name = QFileInfo(named(snapshots, "AB-3127-chn02-*.bmp")).fileName();
        QTRY_VERIFY_WITH_TIMEOUT(windows[1]->NoticeText().contains(written_name), 3000);
        QVERIFY2(windows[1]->NoticeText().startsWith(QStringLiteral("Snapshot saved: ")),
                 qPrintable(windows[1]->NoticeText()));
        QTRY_VERIFY_WITH_TIMEOUT(windows[1]->NoticeText().isEmpty(), CDevShowDlg::kNoticeShown_ms + 2000);
        double best = 255;
        for (const QImage& picture : seen) best = std::min(best, MeanDifference(written, picture));
        QVERIFY2(best < 1.0, qPrintable(QString::number(best)));
        // A picture of the stream at another moment differs clearly: the comparison sees what it should.
        QVERIFY(MeanDifference(written, seen.front()) > 1.0 || MeanDifference(written, seen.back()) > 1.0);

        // Record twice: icons playing, recording, playing; the file holds video.
        ActionsOf(window).Run(kCommandRecord);
        QVERIFY(VelqChn_IsRecording(windows[1]->channel));
        QCOMPARE(active->icon(0).cacheKey(), tree->ImageIcon(DevTree::kChannelRecording).cacheKey());
        const QDir records(live_.client().settings.RecordPath);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(named(records, "AB-3127-chn02-*.avi")).size() > 20000, 15000);
        ActionsOf(window).Run(kCommandRecord);  // the stop ends on the stopper's worker
        QTRY_VERIFY_WITH_TIMEOUT(!VelqChn_IsRecording(windows[1]->channel), 5000);
        QCOMPARE(active->icon(0).cacheKey(), tree->ImageIcon(DevTree::kChannelPlaying).cacheKey());

        // Record on a channel that is not the active window's does nothing.
        window.SelectDeviceNode(fifth);
        QCOMPARE(grid->ActiveWindow(), windows[4]);  // selecting a shown channel activates its window
        model.ActivateWindow(windows[0]);
        ActionsOf(window).Run(kCommandRecord);
        QVERIFY(!VelqChn_IsRecording(windows[4]->channel));

        // Cycling: the pages change on their own.
        live_.client().settings.CycleDuration = 2;
        live_.client().settings.CyclePrepare = 1;
        grid->StartCycling();
        QTRY_COMPARE_WITH_TIMEOUT(model.CurrentPage(), 1, 6000);
        QTRY_COMPARE_WITH_TIMEOUT(model.CurrentPage(), 0, 6000);
        grid->StopCycling();

        // Save the page, log out (every window released), log in and load it back.
        const QString page = home_.path() + "wall.ini";
        QVERIFY(grid->SavePageFile(page));
        // The settings file is never taken for a page file, by whatever path it is named.
        const QByteArray settings = home_.ReadFile("Config.ini");
        QVERIFY(!grid->SavePageFile(home_.path() + "Config.ini"));
        QVERIFY(!grid->SavePageFile(home_.path() + "Record/../Config.ini"));
        QCOMPARE(home_.ReadFile("Config.ini"), settings);
        window.LogoutCleanup();
        QCOMPARE(model.BoundCount(), 0);
        QCOMPARE(model.Pages(), 1);
        for (CDevShowDlg* w : grid->Windows()) QVERIFY(!w->channel && !w->HasPicture());
        QVERIFY2(LogInAndWaitForFleet(window), "the fleet was not listed");
        QVERIFY(grid->LoadPageFile(page));
        QCOMPARE(model.BoundCount(), 5);
        QCOMPARE(model.Windows()[4]->channel_item, Node(tree, "MDVR-10003", 2));
        QCOMPARE(model.Windows()[0]->channel_item, Node(tree, "MDVR-10001", 1));
        QTRY_VERIFY_WITH_TIMEOUT(grid->Windows()[0]->Stats().painted >= 5, 20000);

        // Closing a recording tile (Delete, the close button) asks as Exit does; No keeps it recording.
        CDevShowDlg* recording = grid->Windows()[1];
        QTreeWidgetItem* recorded = recording->channel_item;
        model.SelectWindow(0, recording);
        ActionsOf(window).Run(kCommandRecord);
        QVERIFY(VelqChn_IsRecording(recording->channel));
        const auto close_active = [&](QMessageBox::StandardButton button) {
            // Shared: without a question the timer fires after this returns.
            auto asked = std::make_shared<QString>();
            QTimer::singleShot(0, [asked, button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                *asked = box->text();
                box->button(button)->click();
            });
            QTest::keyClick(grid, Qt::Key_Delete);
            return *asked;
        };
        QCOMPARE(close_active(QMessageBox::No), StopRecordingQuestion(1));
        QCOMPARE(recording->channel_item, recorded);
        QVERIFY(VelqChn_IsRecording(recording->channel));
        QCOMPARE(close_active(QMessageBox::Yes), StopRecordingQuestion(1));
        QVERIFY(!model.FindWindowOfNode(recorded));
        QCOMPARE(model.BoundCount(), 4);
        // A tile that does not record closes without a question.
        model.SelectWindow(0, grid->Windows()[0]);
        QCOMPARE(close_active(QMessageBox::Yes), QString());
        QCOMPARE(model.BoundCount(), 3);
        window.close();
    }

    // Two pages of different vehicles, another vehicle chosen in the tree: a cycle step turns the page
    // and leaves the tree, the vehicle list and the map on the operator's vehicle. A page tab clicked by
    // hand selects its first channel there, as it always has.
    void cyclingLeavesTheOperatorsVehicle() {
        QFile::remove(home_.path() + "Workspace.ini");  // no grid of an earlier test comes back
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        PageTab* grid = GridOf(window);
        GridModel& model = grid->Model();
        PlayFourChannels(window);
        QVERIFY(model.DropChannel(Node(tree, "MDVR-10003", 2), 0, 0, true));
        QCOMPARE(model.Pages(), 2);
        grid->Tabs()->setCurrentIndex(0);
        QCOMPARE(model.CurrentPage(), 0);

        QTreeWidgetItem* chosen = Node(tree, "MDVR-10002", 1)->parent();
        window.SelectDeviceNode(chosen);
        const int chosen_row = chosen->data(0, Qt::UserRole).toInt();
        const auto listRow = [&] {
            const QModelIndexList rows = VehicleListOf(window)->selectionModel()->selectedRows();
            return rows.size() == 1 ? VehicleListOf(window)->proxy().mapToSource(rows.front()).row() : -1;
        };
        QCOMPARE(listRow(), chosen_row);
        QCOMPARE(MapViewOf(window)->Index, chosen_row);

        live_.client().settings.CycleDuration = 1;
        live_.client().settings.CyclePrepare = -1;
        grid->StartCycling();
        QTRY_COMPARE_WITH_TIMEOUT(model.CurrentPage(), 1, 4000);
        grid->StopCycling();
        QCOMPARE(tree->currentItem(), chosen);
        QCOMPARE(listRow(), chosen_row);
        QCOMPARE(MapViewOf(window)->Index, chosen_row);

        grid->Tabs()->setCurrentIndex(0);
        QTreeWidgetItem* first = Node(tree, "MDVR-10001", 1);
        QCOMPARE(tree->currentItem(), first);
        QCOMPARE(MapViewOf(window)->Index, first->parent()->data(0, Qt::UserRole).toInt());
        window.LogoutCleanup();
        window.close();
    }

    // 2 x 2, tile 1 active: Channel-01 then Channel-02 by Play. The first channel's window moves to the
    // end of the grid empty; at its next paint it shows the background, never the old picture, and it
    // stays so (no late picture of the released channel reaches it).
    void vacatedTileShowsItsBackground() {
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        PageTab* grid = GridOf(window);
        GridModel& model = grid->Model();
        model.SelectWindow(0, model.Windows()[0]);
        window.SelectDeviceNode(Node(tree, "MDVR-10001", 1));
        ActionsOf(window).Run(kCommandPlay);
        CDevShowDlg* first = grid->Windows()[0];
        QTRY_VERIFY_WITH_TIMEOUT(first->Stats().painted >= 5, 20000);
        window.SelectDeviceNode(Node(tree, "MDVR-10001", 2));
        ActionsOf(window).Run(kCommandPlay);
        QCOMPARE(grid->Windows()[3], first);
        QVERIFY(first->isVisible() && !first->channel);
        const QColor background = AppSettings::Color(live_.client().settings.ChildBkColor);
        const auto onlyBackground = [&] {
            const QImage shot = first->grab().toImage().convertToFormat(QImage::Format_RGB32);
            for (int y = 0; y < shot.height(); y += 3) {
                for (int x = 0; x < shot.width(); x += 3) {
                    if (QColor(shot.pixel(x, y)) != background) return false;
                }
            }
            return true;
        };
        QVERIFY(onlyBackground());
        QTest::qWait(500);
        QVERIFY(onlyBackground());
        // Play on the shown channel closes it; its window, shown again, is empty too.
        CDevShowDlg* second = grid->Windows()[0];
        QTRY_VERIFY_WITH_TIMEOUT(second->Stats().painted >= 5, 20000);
        ActionsOf(window).Run(kCommandPlay);
        QVERIFY(!second->channel && !second->HasPicture());
        window.LogoutCleanup();
        window.close();
    }

    // A stream that stops sending: within 3 s the tile says since when it has no video, and the notice
    // goes when pictures come again.
    void stalledStreamIsMarked() {
        MainWindowFixture window_fixture(live_.client());
        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        PageTab* grid = GridOf(window);
        grid->Model().SelectWindow(0, grid->Model().Windows()[0]);
        window.SelectDeviceNode(Node(tree, "MDVR-10002", 1));
        ActionsOf(window).Run(kCommandPlay);
        CDevShowDlg* tile = grid->Windows()[0];
        QTRY_VERIFY_WITH_TIMEOUT(tile->Stats().painted >= 5, 20000);
        QVERIFY(!tile->Stalled());
        const QRect picture = tile->PictureRect();
        const QImage live = tile->grab().toImage();

        velq_sim::TransferFaults stall;
        stall.stall_after_packets = 1;
        live_.platform().transfer().set_faults(stall);
        QTRY_VERIFY_WITH_TIMEOUT(tile->Stalled(), 3000);
        QVERIFY2(tile->StallText().startsWith(QStringLiteral("No video since ")),
                 qPrintable(tile->StallText()));
        // The picture is dimmed: a corner away from the label and the notice is darker than it was.
        const QPoint corner(picture.right() - 3, picture.bottom() - 3);
        const QImage dimmed = tile->grab().toImage();
        QVERIFY(qGray(dimmed.pixel(corner)) < qGray(live.pixel(corner)) || qGray(live.pixel(corner)) < 8);

        live_.platform().transfer().set_faults(velq_sim::TransferFaults());
        QTRY_VERIFY_WITH_TIMEOUT(!tile->Stalled(), 15000);
        QVERIFY(tile->StallText().isEmpty());
        window.LogoutCleanup();
        window.close();
    }
};

QTEST_MAIN(GridLiveTest)
#include "grid_live_test.moc"
