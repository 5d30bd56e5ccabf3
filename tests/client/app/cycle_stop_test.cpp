// SPDX-License-Identifier: GPL-3.0-or-later
// What stops automatic page cycling: the clicks CycleStopMode names, each stop zeroing CycleDuration in
// memory and the grid's countdown, with the mode read at the click.
#include <QTest>
#include <utility>

#include "app/app_settings.h"
#include "app/cycle_stop.h"

class CycleStopTest : public QObject {
    Q_OBJECT

  private slots:
    void theDefaultModeStopsOnTheTreeAndTheWindowsOnly() {
        AppSettings settings;
        settings.CycleDuration = 30;
        int grid_stops = 0;
        CycleStopRules rules(settings, [&] { ++grid_stops; });
        QVERIFY(!rules.Clicked(CycleStopRules::kAnywhere));
        QCOMPARE(settings.CycleDuration, 30);
        QCOMPARE(grid_stops, 0);
        QVERIFY(rules.Clicked(CycleStopRules::kDisplayWindow));
        QCOMPARE(settings.CycleDuration, 0);
        QCOMPARE(grid_stops, 1);
        settings.CycleDuration = 30;
        QVERIFY(rules.Clicked(CycleStopRules::kDeviceList));
        QCOMPARE(settings.CycleDuration, 0);
        QCOMPARE(grid_stops, 2);
    }

    // Every click against the modes the cycle preferences store; a changed mode counts at once.
    void eachClickStopsOnlyWhereTheModeNamesIt() {
        AppSettings settings;
        int grid_stops = 0;
        CycleStopRules rules(settings, [&] { ++grid_stops; });
        // Stops on: device list, display window, anywhere else.
        const struct {
            int32_t mode;
            bool tree, window, anywhere;
        } table[] = {{0, false, false, false},
                     {1, true, false, false},
                     {2, false, true, false},
                     {3, true, true, false},
                     {7, true, true, true}};
        for (const auto& row : table) {
            settings.CycleStopMode = row.mode;
            const std::pair<CycleStopRules::Click, bool> clicks[] = {
                {CycleStopRules::kDeviceList, row.tree},
                {CycleStopRules::kDisplayWindow, row.window},
                {CycleStopRules::kAnywhere, row.anywhere}};
            for (const auto& [click, stops] : clicks) {
                settings.CycleDuration = 10;
                const int before = grid_stops;
                QCOMPARE(rules.Clicked(click), stops);
                QCOMPARE(settings.CycleDuration, stops ? 0 : 10);
                QCOMPARE(grid_stops, before + (stops ? 1 : 0));
            }
        }
    }

    // Stop stops whatever the mode; without a grid (gone at shutdown) the setting still stops.
    void stopIgnoresTheModeAndCopesWithoutAGrid() {
        AppSettings settings;
        settings.CycleStopMode = 0;
        settings.CycleDuration = 5;
        CycleStopRules rules(settings, nullptr);
        QVERIFY(!rules.Clicked(CycleStopRules::kDeviceList));
        rules.Stop();
        QCOMPARE(settings.CycleDuration, 0);
    }
};

QTEST_MAIN(CycleStopTest)
#include "cycle_stop_test.moc"
