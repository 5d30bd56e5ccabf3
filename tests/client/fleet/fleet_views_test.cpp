// SPDX-License-Identifier: GPL-3.0-or-later
// The vehicle list's columns and the event log fit their texts instead of cutting them.
#include <QTest>

#include "../client_fixture.h"
#include "fleet/device_status_list.h"
#include "fleet/log_list.h"

class FleetViewsTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;

  private slots:
    void initTestCase() { client_ = home_.StartClient(); }

    void vehicleColumnsWidenToTheirTexts() {
        DeviceStatusList list;
        list.resize(500, 200);
        list.InsertColumns();
        list.show();
        QCOMPARE(list.columnWidth(1), 84);
        list.SetRowName(0, "AB-3127");
        list.SetCell(0, 1, "Tomas Brennan-Whitfield");
        list.SetCell(0, 2, "GPS not valid");
        const QFontMetrics metrics = list.fontMetrics();
        for (int column : {1, 2}) {
            const QString text = list.Cell(0, column);
            QVERIFY2(list.columnWidth(column) > metrics.horizontalAdvance(text), qPrintable(text));
            // What the view shows is the whole text, not an elided one.
            const QRect cell = list.visualRect(list.model()->index(0, column));
            QVERIFY(cell.width() > metrics.horizontalAdvance(text));
        }
        // Short texts keep the documented widths.
        QCOMPARE(list.columnWidth(0), 84);
        list.SetCell(0, 1, "Al");
        QVERIFY(list.columnWidth(1) > 84);  // never narrower again: no jumping columns
    }

    void vehicleCellsShowWhatTheModelKeeps() {
        DeviceStatusModel model;
        model.AppendRow("AB-3127");
        model.SetCell(0, 1, "Driver 7");    // figures left of Speed stay as they are
        model.SetCell(0, 2, "27.78 km/h");  // figures in Speed and UpdateTime read left to right
        QVERIFY(model.StoreCell(0, 3, "GPS invalid"));
        const auto shown = [&](int column) {
            return model.data(model.index(0, column), Qt::DisplayRole).toString();
        };
        QCOMPARE(shown(0), QString("AB-3127"));
        QCOMPARE(shown(1), QString("Driver 7"));
        QCOMPARE(shown(2), QChar(0x202A) + QString("27.78 km/h") + QChar(0x202C));
        QCOMPARE(shown(3), QString("GPS invalid"));
        QCOMPARE(model.Cell(0, 2), QString("27.78 km/h"));
        // A paint only hands out the text made when the cell was stored: two reads share one string.
        QVERIFY(shown(2).isSharedWith(shown(2)));
        QVERIFY(model.StoreCell(0, 2, "0.00 km/h"));
        QCOMPARE(shown(2), QChar(0x202A) + QString("0.00 km/h") + QChar(0x202C));
        model.Clear();
        model.AppendRow("CD-1");
        QCOMPARE(shown(2), QString());
    }

    void logLinesAreAsWideAsTheLongest() {
        LogList log;
        log.resize(230, 200);
        log.SetHorizontalExtent(460);
        log.show();
        QCOMPARE(log.lineWidth(), 460);
        const QString line = "[2026-12-09 03:04:05] [MDVR-10001 - AB-3127] " + QString(80, 'W');
        log.AddLine("short");
        log.AddLine(line);
        QVERIFY(log.lineWidth() > log.fontMetrics().horizontalAdvance(line));
        QTRY_VERIFY(log.visualRect(log.model()->index(1, 0)).width() >
                    log.fontMetrics().horizontalAdvance(line));
    }
};

QTEST_MAIN(FleetViewsTest)
#include "fleet_views_test.moc"
