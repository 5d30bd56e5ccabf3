// SPDX-License-Identifier: GPL-3.0-or-later
// A screen reader names every control the keyboard reaches: the main window with the dialogs it keeps
// (login, device configuration and device, preference pages, search), and each window it opens on
// demand (about, shortcuts, alarm history, geofences, recordings, player).
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "../client_fixture.h"
#include "../nameless_widgets.h"
#include "dialogs/about_dlg.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/cycle_dlg.h"
#include "dialogs/dev_config_dlg.h"
#include "dialogs/dev_info_dlg.h"
#include "dialogs/option_dlg.h"
#include "dialogs/own_prefs_dlg.h"
#include "dialogs/record_dlg.h"
#include "dialogs/search_dlg.h"
#include "dialogs/snapshot_dlg.h"
#include "fleet/alarm_history_dlg.h"
#include "geofence/geofence_dlg.h"
#include "geofence/geofence_keeper.h"
#include "grid/dev_show_dlg.h"
#include "main_window_fixture.h"
#include "recordings/player_window.h"
#include "recordings/recordings_index.h"
#include "recordings/recordings_window.h"
#include "shell/app_main_dlg.h"
#include "shell/shortcuts_dlg.h"

namespace {
QString English(const QString& text) {
    return text;
}

// Fails listing every nameless widget, not just the first.
void ExpectAllNamed(QWidget* root) {
    const QStringList nameless = NamelessFocusableWidgets(root);
    if (!nameless.isEmpty())
        QFAIL(qPrintable(
            QStringLiteral("%1 focusable widget(s) without an accessible name:\n  ").arg(nameless.size()) +
            nameless.join(QStringLiteral("\n  "))));
}
}  // namespace

class AccessibleNamesTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;

  private slots:
    void initTestCase() { client_ = home_.StartClient(); }

    void helperFindsANamelessEditAndNotALabelledOne() {
        QWidget root;
        auto* named = new QLineEdit(&root);
        named->setAccessibleName(QStringLiteral("Address"));
        auto* nameless = new QLineEdit(&root);
        nameless->setObjectName(QStringLiteral("port"));
        new QPushButton(QStringLiteral("OK"), &root);
        QCOMPARE(NamelessFocusableWidgets(&root), QStringList{QStringLiteral("QWidget/QLineEdit#port")});
    }

    void mainWindowAndTheDialogsItKeeps() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        window.show();
        // The walk reaches the dialogs the window keeps as hidden children.
        QVERIFY(window.findChild<CAppLoginDlg*>());
        QVERIFY(window.findChild<CDevConfigDlg*>());
        QVERIFY(window.findChild<CDevInfoDlg*>());
        QVERIFY(window.findChild<CCycleDlg*>());
        QVERIFY(window.findChild<COptionDlg*>());
        QVERIFY(window.findChild<CRecordDlg*>());
        QVERIFY(window.findChild<CSnapshotDlg*>());
        QVERIFY(window.findChild<OwnPrefsDlg*>());
        QVERIFY(window.findChild<CSearchDlg*>());
        QVERIFY(window.findChild<CDevShowDlg*>());
        ExpectAllNamed(&window);
    }

    void windowsOpenedOnDemand() {
        MainWindowFixture window_fixture(*client_);
        CAppMainDlg& window = window_fixture.window();
        auto* about = new CAboutDlg(&window);
        ExpectAllNamed(about);
        auto* shortcuts = new ShortcutsDlg(&window);
        ExpectAllNamed(shortcuts);
        auto* history = new AlarmHistoryDlg(home_.path() + QStringLiteral("alarms.db"), English, &window);
        ExpectAllNamed(history);

        GeofenceKeeper zones(QString(), English);
        auto* zone_list = new GeofenceListDlg(zones, English, &window);
        ExpectAllNamed(zone_list);
        GeoZone zone;
        zone.centre = {22.5, 114.0};
        zone.radius_m = 500;
        auto* zone_name = new ZoneNameDlg(zone, zones, English, &window);
        ExpectAllNamed(zone_name);

        recordings::RecordingsIndex index([](const QString&) { return 0.0; });
        recordings::RecordingsWindow recordings(index, {}, English);
        ExpectAllNamed(&recordings);
        recordings::PlayerWindow player(home_.path(), English);
        ExpectAllNamed(&player);
    }
};

QTEST_MAIN(AccessibleNamesTest)
#include "accessible_names_test.moc"
