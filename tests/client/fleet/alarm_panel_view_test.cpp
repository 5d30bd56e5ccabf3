// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm list's view as the operator handles it, without a window around it: sorting by its headers,
// rows arriving above what the operator looks at, and each row's context menu.
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "fleet/alarm_book.h"
#include "fleet/alarm_list_model.h"
#include "fleet/alarm_panel.h"

namespace {

QString Same(const QString& text) {
    return text;
}

// A book, its model and the panel over them, as the alarm desk puts them together.
struct PanelRig {
    AlarmBook book;
    AlarmListModel model{book, Same};
    AlarmPanel panel{&model, Same};
    PanelRig() {
        book.SetListener(
            [this](const AlarmEpisode& e, AlarmBook::Change change) { model.OnBookChange(e, change); });
        panel.resize(400, 300);
        panel.show();
    }
    // Episode of vehicle CAR-<n> (device D<n>) opened at `time_s`; the rows appear once the model flushes.
    int64_t Open(int n, int word, int64_t time_s) {
        return book.Observe(QStringLiteral("D%1").arg(n), QStringLiteral("CAR-%1").arg(n), word, true,
                            time_s);
    }
    void Flush() { QCoreApplication::processEvents(); }
    QTreeView& view() { return *panel.view(); }
    int64_t IdAt(int row) { return view().model()->index(row, 0).data(AlarmListModel::kIdRole).toLongLong(); }
    QList<int64_t> Order() {
        QList<int64_t> ids;
        for (int row = 0; row < view().model()->rowCount(); ++row) ids << IdAt(row);
        return ids;
    }
    QMenu* MenuAt(int row) { return panel.RowMenu(view().model()->index(row, 2)); }
    static QAction* Action(QMenu* menu, const char* text) {
        for (QAction* action : menu->actions())
            if (action->text() == QLatin1String(text)) return action;
        return nullptr;
    }
};

}  // namespace

class AlarmPanelViewTest : public QObject {
    Q_OBJECT
  private slots:
    // Newest first at start, by start time and not by the time text (yesterday's 23:00 is older than
    // today's 01:00); any header sorts; equal keys keep the episodes' order.
    void headersSortNewestFirstByDefault() {
        PanelRig rig;
        const int64_t day_s = 86400;
        const int64_t base_s = QDateTime::currentSecsSinceEpoch() / day_s * day_s;  // midnight UTC
        const int64_t late = rig.Open(3, 13, base_s - 3600);                        // yesterday, late
        const int64_t early = rig.Open(1, 12, base_s + 3600);                       // today, early
        const int64_t middle = rig.Open(2, 15, base_s - 2 * day_s + 7200);          // two days ago
        rig.Flush();
        QCOMPARE(rig.view().header()->sortIndicatorSection(), int(AlarmListModel::kStart));
        QCOMPARE(rig.view().header()->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(rig.Order(), QList<int64_t>({early, late, middle}));
        QVERIFY(rig.view().header()->sectionsClickable());
        rig.view().sortByColumn(AlarmListModel::kVehicle, Qt::AscendingOrder);
        QCOMPARE(rig.Order(), QList<int64_t>({early, middle, late}));
        rig.view().sortByColumn(AlarmListModel::kStart, Qt::AscendingOrder);
        QCOMPARE(rig.Order(), QList<int64_t>({middle, late, early}));
        // State: cleared ones by their clearing time, active ones after them; acknowledged by time.
        rig.book.Observe("D3", "CAR-3", 13, false, base_s + 100);
        rig.book.Observe("D2", "CAR-2", 15, false, base_s + 50);
        rig.view().sortByColumn(AlarmListModel::kState, Qt::AscendingOrder);
        QCOMPARE(rig.Order(), QList<int64_t>({middle, late, early}));
        rig.book.Acknowledge({late}, "op", "", base_s + 10);
        rig.view().sortByColumn(AlarmListModel::kAcknowledged, Qt::DescendingOrder);
        QCOMPARE(rig.IdAt(0), late);
        // A new episode sorts in where it belongs while the list is sorted by vehicle.
        rig.view().sortByColumn(AlarmListModel::kVehicle, Qt::AscendingOrder);
        const int64_t newest = rig.Open(0, 9, base_s + 7200);
        rig.Flush();
        QCOMPARE(rig.Order(), QList<int64_t>({newest, early, middle, late}));
        // The short columns are as wide as their texts.
        const QFontMetrics metrics(rig.view().font());
        QVERIFY(rig.view().columnWidth(AlarmListModel::kVehicle) >= metrics.horizontalAdvance("CAR-0"));
        QVERIFY(rig.view().columnWidth(AlarmListModel::kKind) >=
                metrics.horizontalAdvance(AlarmWordText(15)));
    }

    // Rows arriving while the operator looks further down (or points at a row) leave the rows in view and
    // the selection where they were; at the top, untouched, the newest come into sight.
    void newRowsKeepTheRowsInView() {
        PanelRig rig;
        for (int n = 0; n < 60; ++n) rig.Open(n, 8 + n % 8, 1000 + n);
        rig.Flush();
        QTreeView& view = rig.view();
        view.scrollTo(view.model()->index(30, 0), QAbstractItemView::PositionAtTop);
        const int64_t top = view.indexAt(QPoint(1, 1)).data(AlarmListModel::kIdRole).toLongLong();
        const int top_y = view.visualRect(view.indexAt(QPoint(1, 1))).top();
        view.selectionModel()->setCurrentIndex(
            view.model()->index(32, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const int64_t selected = rig.panel.SelectedIds().value(0);
        for (int n = 60; n < 65; ++n) rig.Open(n, 9, 2000 + n);
        rig.Flush();
        QCOMPARE(view.model()->rowCount(), 65);
        const QModelIndex now_top = view.indexAt(QPoint(1, 1));
        QCOMPARE(now_top.data(AlarmListModel::kIdRole).toLongLong(), top);
        QCOMPARE(view.visualRect(now_top).top(), top_y);
        QCOMPARE(rig.panel.SelectedIds(), QList<int64_t>({selected}));

        view.verticalScrollBar()->setValue(0);
        const int64_t newest = rig.Open(70, 10, 3000);
        rig.Flush();
        QCOMPARE(view.indexAt(QPoint(1, 1)).data(AlarmListModel::kIdRole).toLongLong(), newest);
    }

    // The menu of a row: acknowledge the selection through the panel's request (the comment goes with it),
    // open the vehicle's video as a double-click does, its history by device id.
    void rowMenuActsOnTheRow() {
        PanelRig rig;
        const int64_t first = rig.Open(1, 13, 100);
        const int64_t second = rig.Open(2, 12, 200);
        rig.Flush();
        QSignalSpy acknowledged(&rig.panel, &AlarmPanel::acknowledgeRequested);
        QSignalSpy video(&rig.panel, &AlarmPanel::episodeActivated);
        QSignalSpy history(&rig.panel, &AlarmPanel::vehicleHistoryRequested);

        // A row outside the selection becomes the selection.
        rig.view().selectionModel()->setCurrentIndex(
            rig.view().model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        std::unique_ptr<QMenu> menu(rig.MenuAt(1));
        QCOMPARE(rig.panel.SelectedIds(), QList<int64_t>({first}));
        QVERIFY(PanelRig::Action(menu.get(), "Acknowledge")->isEnabled());
        rig.panel.commentEdit()->setText("seen");
        PanelRig::Action(menu.get(), "Acknowledge")->trigger();
        QCOMPARE(acknowledged.size(), 1);
        QCOMPARE(acknowledged[0][0].value<QList<int64_t>>(), QList<int64_t>({first}));
        QCOMPARE(acknowledged[0][1].toString(), QStringLiteral("seen"));
        PanelRig::Action(menu.get(), "Open Video")->trigger();
        QCOMPARE(video.size(), 1);
        QCOMPARE(video[0][0].value<int64_t>(), first);
        PanelRig::Action(menu.get(), "History...")->trigger();
        QCOMPARE(history.size(), 1);
        QCOMPARE(history[0][0].toString(), QStringLiteral("D1"));

        // Within a selection of two the selection stays; acknowledged rows leave nothing to acknowledge.
        rig.view().selectAll();
        menu.reset(rig.MenuAt(0));
        QCOMPARE(rig.panel.SelectedIds().size(), 2);
        rig.book.Acknowledge({first, second}, "op", "", 300);
        menu.reset(rig.MenuAt(0));
        QVERIFY(!PanelRig::Action(menu.get(), "Acknowledge")->isEnabled());
        PanelRig::Action(menu.get(), "Open Video")->trigger();
        QCOMPARE(video.last()[0].value<int64_t>(), second);
    }
};

QTEST_MAIN(AlarmPanelViewTest)
#include "alarm_panel_view_test.moc"
