// SPDX-License-Identifier: GPL-3.0-or-later
// The map page's fleet bridge as a plain object: calls from a page that is not the map's do nothing, and
// calls in a burst are held to the rate limit (the clock is the test's).
#include <QSignalSpy>
#include <QTest>

#include "map/fleet_bridge.h"
#include "map/token_bucket.h"

namespace {

using Clock = TokenBucket::Clock;
using std::chrono::milliseconds;

const QUrl kBuiltIn(QStringLiteral("qrc:/map/mapdlg.htm"));
const QUrl kReplacement = QUrl::fromLocalFile(QStringLiteral("/opt/tavrin/map/mapdlg.htm"));

}  // namespace

class FleetBridgeTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        feed_ = FleetFeed();
        feed_.SetPosition(2, QStringLiteral("BUS-002"), 48.1, 11.5, 90, 20);
        page_url_ = kBuiltIn;
        now_ = Clock::time_point(std::chrono::hours(1));
        bridge_ = std::make_unique<FleetBridge>(
            feed_, [this] { return page_url_; }, QList<QUrl>{kBuiltIn, kReplacement}, nullptr,
            [this] { return now_; });
    }

    void onlyTheMapsOwnPagesReachTheFleet() {
        QSignalSpy opened(bridge_.get(), &FleetBridge::opened);
        QSignalSpy selected(bridge_.get(), &FleetBridge::selected);
        // The map's pages, also after their script changed the fragment or query.
        for (const QUrl& url :
             {kBuiltIn, kReplacement, QUrl(QStringLiteral("qrc:/map/mapdlg.htm#17/48.1/11.5")),
              QUrl(QStringLiteral("file:///opt/tavrin/map/mapdlg.htm?layer=photo"))}) {
            page_url_ = url;
            bridge_->open(2, QStringLiteral("BUS-002"));
            now_ += std::chrono::seconds(1);
        }
        QCOMPARE(opened.size(), 4);
        // A page that went elsewhere, or one that dresses up as the map, is refused.
        for (const char* url : {"http://127.0.0.1:8080/playback.aspx", "https://127.0.0.1/map/mapdlg.htm",
                                "http://127.0.0.1/qrc:/map/mapdlg.htm", "file:///tmp/map/mapdlg.htm",
                                "qrc:/map/other.htm", "data:text/html,<p>", "about:blank", ""}) {
            page_url_ = QUrl(QString::fromLatin1(url));
            bridge_->open(2, QStringLiteral("BUS-002"));
            bridge_->select(2, QStringLiteral("BUS-002"));
            now_ += std::chrono::seconds(1);
        }
        QCOMPARE(opened.size(), 4);
        QCOMPARE(selected.size(), 0);
        QCOMPARE(bridge_->foreign_calls(), 16);
        QCOMPARE(bridge_->dropped_calls(), 0);
    }

    void callsInABurstAreHeldToTheLimit() {
        QSignalSpy opened(bridge_.get(), &FleetBridge::opened);
        QSignalSpy selected(bridge_.get(), &FleetBridge::selected);
        for (int i = 0; i < 5000; ++i) bridge_->open(2, QStringLiteral("BUS-002"));
        QCOMPARE(opened.size(), FleetBridge::kOpenBurst);
        QCOMPARE(bridge_->dropped_calls(), 5000 - FleetBridge::kOpenBurst);
        // Selects have an allowance of their own.
        for (int i = 0; i < 100; ++i) bridge_->select(2, QStringLiteral("BUS-002"));
        QCOMPARE(selected.size(), FleetBridge::kSelectBurst);

        // Ten seconds of a page calling every 10 ms: the steady rate and no more.
        opened.clear();
        for (int step = 0; step < 1000; ++step) {
            now_ += milliseconds(10);
            bridge_->open(2, QStringLiteral("BUS-002"));
        }
        QVERIFY2(opened.size() >= 10 * FleetBridge::kOpensPerSecond - 1 &&
                     opened.size() <= 10 * FleetBridge::kOpensPerSecond + 1,
                 qPrintable(QString::number(opened.size())));
        // A quiet spell fills the bucket up to the burst again, never beyond.
        opened.clear();
        now_ += std::chrono::minutes(10);
        for (int i = 0; i < 20; ++i) bridge_->open(2, QStringLiteral("BUS-002"));
        QCOMPARE(opened.size(), FleetBridge::kOpenBurst);
        // Calls naming no vehicle still spend the allowance: made-up calls cannot outrun the limit either.
        now_ += std::chrono::minutes(1);
        for (int i = 0; i < FleetBridge::kOpenBurst; ++i) bridge_->open(9, QStringLiteral("BUS-009"));
        bridge_->open(2, QStringLiteral("BUS-002"));
        QCOMPARE(opened.size(), FleetBridge::kOpenBurst);
    }

    void aClockGoingBackGivesNothingExtra() {
        TokenBucket bucket(2, 1);
        const Clock::time_point start(std::chrono::hours(5));
        QVERIFY(bucket.Take(start));
        QVERIFY(bucket.Take(start));
        QVERIFY(!bucket.Take(start - std::chrono::hours(1)));
        QVERIFY(!bucket.Take(start + milliseconds(500)));
        QVERIFY(bucket.Take(start + milliseconds(1000)));
        QVERIFY(!bucket.Take(start + milliseconds(1000)));
    }

  private:
    FleetFeed feed_;
    QUrl page_url_;
    Clock::time_point now_;
    std::unique_ptr<FleetBridge> bridge_;
};

QTEST_MAIN(FleetBridgeTest)
#include "fleet_bridge_test.moc"
