// SPDX-License-Identifier: GPL-3.0-or-later
// Times and dates the client writes keep their order in a right-to-left language: laid out as Qt lays out
// the text it is given in a mirrored window, the digits of a time stamp still run from left to right.
#include <QFont>
#include <QTest>
#include <QTextLayout>

#include "fleet/alarm_book.h"
#include "fleet/alarm_list_model.h"
#include "fleet/log_list.h"

namespace {

// Whether `run`, found in `shown`, reads from left to right when `shown` is laid out as a right-to-left
// paragraph: the cursor between each two of its characters lies further right than the one before.
bool ReadsLeftToRight(const QString& shown, const QString& run) {
    const qsizetype at = shown.indexOf(run);
    if (at < 0 || run.size() < 3) return false;
    QTextLayout layout(shown, QFont());
    QTextOption option;
    option.setTextDirection(Qt::RightToLeft);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(100000);
    layout.endLayout();
    qreal previous = line.cursorToX(int(at + 1));
    for (qsizetype i = at + 2; i < at + run.size(); ++i) {
        const qreal x = line.cursorToX(int(i));
        if (!(x > previous)) return false;
        previous = x;
    }
    return true;
}

}  // namespace

class RightToLeftTest : public QObject {
    Q_OBJECT
  private slots:
    // The check itself: a plain stamp of a date and a time does not keep its order in a right-to-left
    // paragraph (the time moves before the date), which is what the client's texts must avoid.
    void plainStampsWouldTurn() {
        QVERIFY(!ReadsLeftToRight(QStringLiteral("[2026-12-09 17:33:28] رسالة"), "2026-12-09 17:33:28"));
    }

    void eventLogStampKeepsItsOrder() {
        LogList log;
        log.AddLine(QStringLiteral("[2026-12-09 17:33:28] [D1 - AB-3127] متصل"));
        QCOMPARE(log.line(0), QStringLiteral("[2026-12-09 17:33:28] [D1 - AB-3127] متصل"));
        const QString shown = log.model()->index(0, 0).data().toString();
        QVERIFY2(ReadsLeftToRight(shown, "2026-12-09 17:33:28"), qPrintable(shown));
        // A line that begins with a device part, not a time, is shown as it is.
        log.AddLine(QStringLiteral("[D1 - AB-3127] Online"));
        QCOMPARE(log.model()->index(1, 0).data().toString(), QStringLiteral("[D1 - AB-3127] Online"));
    }

    // The alarm list's and the history's cells: the start stamp and the times inside the state and
    // acknowledgement texts.
    void alarmCellsKeepTheirOrder() {
        AlarmBook book;
        const int64_t start_s = QDateTime(QDate(2026, 12, 9), QTime(17, 33, 28)).toSecsSinceEpoch();
        const int64_t id = book.Observe("DEV-1", "AB-3127", 13, true, start_s);
        book.Observe("DEV-1", "AB-3127", 13, false, start_s + 60);
        book.Acknowledge({id}, "ann", "ok", start_s + 120);
        const AlarmEpisode* episode = book.Find(id);
        QVERIFY(episode);
        const auto arabic = [](const QString& text) { return QStringLiteral("نص ") + text; };
        const QString start = AlarmListModel::CellText(*episode, AlarmListModel::kStart, arabic);
        QVERIFY2(ReadsLeftToRight(arabic(start), "2026-12-09 17:33:28"), qPrintable(start));
        const QString state = AlarmListModel::CellText(*episode, AlarmListModel::kState, arabic);
        QVERIFY2(ReadsLeftToRight(state, "2026-12-09 17:34:28"), qPrintable(state));
        const QString ack = AlarmListModel::CellText(*episode, AlarmListModel::kAcknowledged, arabic);
        QVERIFY2(ReadsLeftToRight(arabic(ack), "2026-12-09 17:35:28"), qPrintable(ack));
    }
};

QTEST_MAIN(RightToLeftTest)
#include "right_to_left_test.moc"
