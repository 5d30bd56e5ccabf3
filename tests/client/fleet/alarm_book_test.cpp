// SPDX-License-Identifier: GPL-3.0-or-later
// Alarm episodes from word observations, acknowledgement, the bounded book, and the list model and its
// filters as a view sees them.
#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QSignalSpy>
#include <QTest>

#include "fleet/alarm_book.h"
#include "fleet/alarm_list_model.h"

namespace {

QString Same(const QString& text) {
    return text;
}

}  // namespace

class AlarmBookTest : public QObject {
    Q_OBJECT
  private slots:
    void episodesFollowTheWords() {
        AlarmBook book;
        // Words outside 8..15 are not alarms; a word seen inactive with nothing open changes nothing.
        QCOMPARE(book.Observe("D1", "CAR-1", 7, true, 100), 0);
        QCOMPARE(book.Observe("D1", "CAR-1", 16, true, 100), 0);
        QCOMPARE(book.Observe("D1", "CAR-1", 13, false, 100), 0);
        const int64_t first = book.Observe("D1", "CAR-1", 13, true, 100, true);
        QVERIFY(first > 0);
        // Still active: the same episode; another word or vehicle: another one.
        QCOMPARE(book.Observe("D1", "CAR-1", 13, true, 101), 0);
        const int64_t disk = book.Observe("D1", "CAR-1", 12, true, 102);
        const int64_t other = book.Observe("D2", "CAR-2", 13, true, 103);
        QVERIFY(disk > first && other > disk);
        QCOMPARE(book.size(), 3);
        QVERIFY(book.Find(first)->at_login);
        QVERIFY(!book.Find(disk)->at_login);
        // Back to 0 closes it at that time; the next activation opens a new episode.
        QCOMPARE(book.Observe("D1", "CAR-1", 13, false, 150), first);
        QCOMPARE(book.Find(first)->cleared_s, 150);
        const int64_t again = book.Observe("D1", "CAR-1", 13, true, 160);
        QVERIFY(again > other);
        QVERIFY(book.Find(again)->active());
        // A clock that stepped back never ends an episode before it began.
        QCOMPARE(book.Observe("D2", "CAR-2", 13, false, 50), other);
        QCOMPARE(book.Find(other)->cleared_s, 103);
        QCOMPARE(AlarmWordText(13), QString("Over Speed"));
        QCOMPARE(AlarmWordText(8), QString("GPIO 0 Alarm"));
        QVERIFY(AlarmWordText(3).isEmpty());
    }

    void acknowledgementIsStampedOnce() {
        AlarmBook book;
        const int64_t a = book.Observe("D1", "CAR-1", 13, true, 100);
        const int64_t b = book.Observe("D1", "CAR-1", 9, true, 100);
        const int64_t c = book.Observe("D2", "CAR-2", 9, true, 100);
        QCOMPARE(book.UnacknowledgedCount(), 3);
        QCOMPARE(book.UnacknowledgedOf("D1"), 2);
        QCOMPARE(book.Acknowledge({a, b, 999}, "ann", "called driver", 200), 2);
        QCOMPARE(book.UnacknowledgedOf("D1"), 0);
        QCOMPARE(book.UnacknowledgedCount(), 1);
        // A second acknowledgement keeps the first stamp.
        QCOMPARE(book.Acknowledge({a, c}, "bob", "", 300), 1);
        QCOMPARE(book.Find(a)->ack_user, QString("ann"));
        QCOMPARE(book.Find(a)->ack_s, 200);
        QCOMPARE(book.Find(a)->ack_comment, QString("called driver"));
        QCOMPARE(book.Find(c)->ack_user, QString("bob"));
        QCOMPARE(book.UnacknowledgedCount(), 0);
    }

    void loadedEpisodesContinue() {
        AlarmEpisode open_one;
        open_one.id = 41;
        open_one.device_id = "D1";
        open_one.word = 13;
        open_one.started_s = 10;
        AlarmEpisode closed = open_one;
        closed.id = 40;
        closed.cleared_s = 11;
        closed.ack_s = 12;
        closed.ack_user = "ann";
        AlarmBook book;
        book.Load({closed, open_one});
        QCOMPARE(book.UnacknowledgedCount(), 1);
        // The loaded open episode is the one a word going back to 0 closes; new ids follow the largest.
        QCOMPARE(book.Observe("D1", "CAR-1", 13, true, 20), 0);
        QCOMPARE(book.Observe("D1", "CAR-1", 13, false, 20), 41);
        QCOMPARE(book.Observe("D1", "CAR-1", 13, true, 30), 42);
    }

    void theBookStaysBounded() {
        AlarmBook book(3);
        QList<int64_t> ids;
        for (int i = 0; i < 5; ++i) ids << book.Observe(QString("D%1").arg(i), "V", 13, true, i);
        // Nothing acknowledged: the book grows to twice its capacity rather than hide pending alarms.
        QCOMPARE(book.size(), 5);
        for (int i = 5; i < 9; ++i) ids << book.Observe(QString("D%1").arg(i), "V", 13, true, i);
        QCOMPARE(book.size(), 6);
        QCOMPARE(book.at(0).id, ids[3]);
        QCOMPARE(book.UnacknowledgedCount(), 6);
        // Acknowledged and closed episodes leave first once there is room to make.
        book.Observe("D3", "V", 13, false, 20);
        book.Observe("D4", "V", 13, false, 20);
        book.Acknowledge({ids[3], ids[4]}, "ann", "", 21);
        book.Observe("D9", "V", 13, true, 22);
        QCOMPARE(book.size(), 5);
        QCOMPARE(book.at(0).id, ids[5]);
        // A dropped open episode no longer blocks its word.
        QVERIFY(book.Observe("D0", "V", 13, true, 23) > 0);
    }

    void theModelAndItsFilters() {
        AlarmBook book(4);
        AlarmListModel model(book, Same);
        book.SetListener(
            [&](const AlarmEpisode& e, AlarmBook::Change change) { model.OnBookChange(e, change); });
        AlarmFilter filter;
        filter.setSourceModel(&model);
        QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const int64_t a = book.Observe("DEV-1", "CAR-17", 13, true, 1700000000);
        const int64_t b = book.Observe("DEV-2", "VAN-3", 12, true, 1700000100);
        // Rows enter together once the event loop comes round.
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QCOMPARE(model.rowCount(), 0);
        QTRY_COMPARE(model.rowCount(), 2);
        QCOMPARE(inserted.count(), 1);
        // Newest first, with plain texts for every column.
        QCOMPARE(model.index(0, AlarmListModel::kVehicle).data(Qt::ToolTipRole).toString(),
                 QString("VAN-3 (DEV-2)"));
        QCOMPARE(model.index(0, AlarmListModel::kVehicle).data().toString(), QString("VAN-3"));
        QCOMPARE(model.index(0, AlarmListModel::kStart).data(Qt::ToolTipRole).toString(),
                 QChar(0x2066) + QDateTime::fromSecsSinceEpoch(1700000100).toString("yyyy-MM-dd HH:mm:ss") +
                     QChar(0x2069));
        QCOMPARE(model.index(1, AlarmListModel::kKind).data().toString(), QString("Over Speed"));
        QCOMPARE(model.index(1, AlarmListModel::kState).data().toString(), QString("Active"));
        QCOMPARE(model.RowOf(a), 1);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        book.Observe("DEV-1", "CAR-17", 13, false, 1700000050);
        book.Acknowledge({a}, "ann", "<b>ok</b>", 1700000060);
        QCOMPARE(changed.count(), 2);
        QVERIFY(model.index(1, AlarmListModel::kState).data().toString().startsWith("Cleared at "));
        QVERIFY(model.index(1, AlarmListModel::kAcknowledged).data().toString().startsWith("ann, "));
        QVERIFY(model.index(1, AlarmListModel::kAcknowledged).data().toString().endsWith(": <b>ok</b>"));

        filter.SetVehicleText("car");
        QCOMPARE(filter.rowCount(), 1);
        filter.SetVehicleText("dev-2");
        QCOMPARE(filter.rowCount(), 1);
        filter.SetVehicleText("");
        filter.SetWord(12);
        QCOMPARE(filter.rowCount(), 1);
        QCOMPARE(filter.index(0, 0).data(AlarmListModel::kIdRole).toLongLong(), b);
        filter.SetWord(0);
        filter.SetUnacknowledgedOnly(true);
        QCOMPARE(filter.rowCount(), 1);
        // Acknowledging takes a row out of "unacknowledged only" at once.
        book.Acknowledge({b}, "ann", "", 1700000200);
        QCOMPARE(filter.rowCount(), 0);
        filter.SetUnacknowledgedOnly(false);
        book.Observe("DEV-2", "VAN-3", 12, false, 1700000250);
        // Rows enter at the top and the oldest leave at the bottom; the tester checks every step.
        for (int i = 0; i < 6; ++i) {
            const int64_t id = book.Observe(QString("X%1").arg(i), "X", 9, true, 1700000300 + i);
            book.Observe(QString("X%1").arg(i), "X", 9, false, 1700000400);
            book.Acknowledge({id}, "ann", "", 1700000500);
            if (i % 2) model.Flush();
        }
        model.Flush();
        QCOMPARE(model.rowCount(), book.size());
        QCOMPARE(book.size(), 4);
        QCOMPARE(model.index(0, AlarmListModel::kVehicle).data(Qt::ToolTipRole).toString(),
                 QString("X (X5)"));
    }
};

QTEST_MAIN(AlarmBookTest)
#include "alarm_book_test.moc"
