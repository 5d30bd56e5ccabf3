// SPDX-License-Identifier: GPL-3.0-or-later
// The Playback panel inside the main window against velq-sim: showing it lists every vehicle, Search shows
// the playback page in the map view and logs its address, and leaving the panel brings the live map back.
// The window's children are reached as a user reaches them, not through the window's members.
#include <QComboBox>
#include <QDateTimeEdit>
#include <QTest>

#include "../dialogs/dialogs_fixture.h"
#include "dialogs/search_dlg.h"
#include "fleet/dev_tree.h"
#include "fleet/log_list.h"
#include "main_window_fixture.h"
#include "map/map_dlg.h"
#include "shell/app_main_dlg.h"

class SearchPanelWiringTest : public QObject {
    Q_OBJECT
  private slots:
    void searchShowsThePageInTheMapViewAndLogsIt() {
        SimWithWeb sim;
        QVERIFY(sim.started());
        ScratchHome home;
        home.WriteFile(QStringLiteral("Config.ini"), "[Tavrin]\n" + sim.ConfigLines());
        auto client = home.StartClient();
        MainWindowFixture window_fixture(*client);
        CAppMainDlg& window = window_fixture.window();
        auto* tree = window.findChild<DevTree*>();
        auto* panel = window.findChild<CSearchDlg*>();
        auto* map = window.findChild<CMapDlg*>();
        auto* log = window.findChild<LogList*>();
        QVERIFY(tree && panel && map && log);
        window.PressLogin();
        QTRY_VERIFY_WITH_TIMEOUT(tree->EntryCount() >= 6, 15000);
        window.ShowPanel(CAppMainDlg::kPlayback);
        QTRY_COMPARE_WITH_TIMEOUT(panel->vehicleCount(), 8, 10000);
        for (int i = 0; i < panel->vehicleList()->count(); ++i) {
            if (panel->vehicleList()->itemText(i).startsWith(QStringLiteral("MDVR-10001")))
                panel->vehicleList()->setCurrentIndex(i);
        }
        const QString address = panel->Search();
        QVERIFY(address.endsWith(
            QStringLiteral("devicename=MDVR-10001") +
            panel->startPicker()->dateTime().toString(QStringLiteral("'&stime='yyyy-MM-ddTHH:mm:ss")) +
            panel->endPicker()->dateTime().toString(QStringLiteral("'&etime='yyyy-MM-ddTHH:mm:ss"))));
        QCOMPARE(map->Index, CMapDlg::kPlaybackPage);
        QVERIFY(log->line(log->count() - 1).endsWith(address));
        // Leaving the Playback panel brings the live map back.
        window.ShowPanel(CAppMainDlg::kDeviceList);
        QCOMPARE(map->Index, -1);
        window.ShowPanel(CAppMainDlg::kPlayback);
        QTRY_COMPARE_WITH_TIMEOUT(panel->vehicleCount(), 8, 10000);
    }
};

QTEST_MAIN(SearchPanelWiringTest)
#include "search_panel_wiring_test.moc"
