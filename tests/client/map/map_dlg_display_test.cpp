// SPDX-License-Identifier: GPL-3.0-or-later
// CMapDlg around its page: docking and floating, button 137, a replacement page beside the program, the
// playback page and the way back, quiet script calls, and the offset table's correction.
#include <QApplication>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWebEngineProfile>
#include <QtTest>

#include "map_test_support.h"
#include "offset_table_writer.h"

namespace {

constexpr double kLat = 31.2300, kLng = 121.4700;

// A page beside the program that counts the client's calls and tries to open a dialog.
const char kReplacementPage[] = R"(<!DOCTYPE html>
<html><head><title>replacement</title><script>
var refreshCalls = 0, centerCalls = 0;
function refreshMap() { refreshCalls++; }
function centerMap() { centerCalls++; }
function throwing() { throw new Error('thrown on purpose'); }
alert('a replacement page may not open dialogs');
</script></head><body>
<input type="hidden" id="map_lng"><input type="hidden" id="map_lat"><input type="hidden" id="offset_lng">
<input type="hidden" id="offset_lat"><input type="hidden" id="map_status"><input type="hidden" id="SpeedBar">
<input type="hidden" id="AngleBar"><input type="hidden" id="Index"><input type="hidden" id="VehicleId">
</body></html>)";

// A playback page as a hostile center (or anyone on the path) could serve it: it looks for the map's web
// channel and, when it finds the fleet object, asks it 60 times to open a vehicle. `probe` says what it saw.
const char kHostilePage[] = R"(<!DOCTYPE html>
<html><head><title>playback</title><script src="/qwebchannel.js"></script></head><body><h1>playback</h1>
<script>
var probe = {transport: !!(window.qt && window.qt.webChannelTransport), fleet: false, calls: 0, done: false};
localStorage.setItem('playback', 'kept apart');
if (probe.transport && typeof QWebChannel === 'function') {
  new QWebChannel(window.qt.webChannelTransport, function (channel) {
    var fleet = channel.objects.tavrinFleet;
    probe.fleet = !!fleet;
    for (var i = 0; fleet && i < 60; i++) { fleet.open(0, 'AB-3127'); probe.calls++; }
    probe.done = true;
  });
} else {
  probe.done = true;
}
</script></body></html>)";

// Serves the hostile page at every path but /qwebchannel.js, which gets the channel's own client script (so
// that the page needs no protocol knowledge of its own). One request per connection, on 127.0.0.1.
class HostileServer : public QObject {
  public:
    HostileServer() {
        QFile script(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        if (script.open(QIODevice::ReadOnly)) channel_script_ = script.readAll();
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const bool script = request.startsWith("GET /qwebchannel.js ");
                    const QByteArray body = script ? channel_script_ : QByteArray(kHostilePage);
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: " +
                                  QByteArray(script ? "application/javascript" : "text/html") +
                                  "\r\nConnection: close\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool ready() const { return server_.isListening() && !channel_script_.isEmpty(); }
    QUrl Url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/playback.aspx").arg(server_.serverPort()));
    }

  private:
    QTcpServer server_;
    QByteArray channel_script_;
};

bool WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

}  // namespace

class MapDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
        QVERIFY(QDir(dir_.path()).mkpath("map"));
        replacement_ = dir_.filePath("map/mapdlg.htm");
    }

    void init() {
        host_ = std::make_unique<TestMapHost>();
        settings_ = MapViewSettings();
        settings_.road_tiles = settings_.photo_tiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
        settings_.page_files = {replacement_};
        settings_.offset_table_file = dir_.filePath("offset_min.bin");
        QFile::remove(replacement_);
        QFile::remove(settings_.offset_table_file);
    }

    void cleanup() {
        map_.reset();
        host_.reset();
    }

    void ReplacementPageWinsAndScriptsFailQuietly() {
        QVERIFY(WriteFile(replacement_, kReplacementPage));
        Create();
        QCOMPARE(map_->CallScript("refreshMap"), false);  // nothing loaded yet
        WaitForPage();
        QCOMPARE(map_->view()->url(), QUrl::fromLocalFile(replacement_));
        QCOMPARE(Eval("document.title").toString(), QStringLiteral("replacement"));
        // The page's alert opened no window.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY2(!widget->isVisible() || widget == &host_->dock_parent,
                     qPrintable(widget->metaObject()->className()));
        }

        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng, 20.0, 90.0), 0), 1);
        QTRY_COMPARE(Eval("refreshCalls").toInt(), 2);
        QCOMPARE(Eval("document.getElementById('map_status').value").toString(), QStringLiteral("running"));
        QCOMPARE(Eval("document.getElementById('VehicleId').value").toString(), QStringLiteral("AB-3127"));
        QCOMPARE(Eval("Number(document.getElementById('map_lat').value).toFixed(4)").toString(),
                 QStringLiteral("31.2300"));
        QCOMPARE(Eval("document.getElementById('Index').value").toString(), QStringLiteral("0"));
        QCOMPARE(Eval("Number(document.getElementById('AngleBar').value)").toDouble(), 90.0);

        // A function the page lacks, or one that throws, changes nothing.
        QVERIFY(map_->CallScript("noSuchFunction", {"a", "b"}));
        QVERIFY(map_->CallScript("throwing"));
        QVERIFY(map_->CallScript("refreshMap"));
        QTRY_COMPARE(Eval("refreshCalls").toInt(), 3);

        // The refresh message calls centerMap only while a vehicle is selected.
        map_->PostRefresh();
        QTRY_COMPARE(Eval("centerCalls").toInt(), 1);
        map_->Clear();
        QCOMPARE(map_->Index, CMapDlg::kNoVehicle);
        map_->PostRefresh();
        QTest::qWait(100);
        QCOMPARE(Eval("centerCalls").toInt(), 1);
    }

    void DockUndockAndToggle() {
        Create();
        WaitForPage();
        map_->SetDockedRect(QRect(512, 514, 505, 247));
        QVERIFY(!map_->floating());
        QCOMPARE(map_->parentWidget(), &host_->dock_parent);
        QCOMPARE(map_->geometry(), QRect(512, 514, 505, 247));
        QToolButton* button = map_->map_button();
        QCOMPARE(button->geometry(), QRect(65, 5, 31, 25));
        QCOMPARE(button->toolTip(), QStringLiteral("Map"));
        QTRY_VERIFY(button->isVisible());

        // Button 137 floats the view at the grid's size.
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(map_->floating());
        QVERIFY(map_->isWindow());
        QCOMPARE(map_->parentWidget(), nullptr);
        QCOMPARE(map_->size(), host_->grid_size);
        QCOMPARE(map_->windowTitle(), QStringLiteral("Map"));
        QVERIFY(!button->isVisible());
        QVERIFY(map_->isVisible());

        // The close box puts it back where the layout wants it.
        map_->close();
        QVERIFY(!map_->floating());
        QCOMPARE(map_->parentWidget(), &host_->dock_parent);
        QCOMPARE(map_->geometry(), QRect(512, 514, 505, 247));
        QTRY_VERIFY(button->isVisible());
        // A new slot while docked moves the view; while floating it is only kept.
        map_->SetDockedRect(QRect(244, 45, 773, 462));
        QCOMPARE(map_->geometry(), QRect(244, 45, 773, 462));

        // Escape is the view's cancel: it toggles too. In the Playback panel the floating view keeps its
        // size.
        host_->playback_panel = true;
        map_->resize(300, 200);
        QTest::keyClick(map_.get(), Qt::Key_Escape);
        QVERIFY(map_->floating());
        QCOMPARE(map_->size(), QSize(300, 200));
        map_->SetDockedRect(QRect(0, 0, 100, 100));
        QVERIFY(map_->isWindow());
        map_->ToggleFloating();
        QCOMPARE(map_->geometry(), QRect(0, 0, 100, 100));

        // The page survives the moves.
        QVERIFY(map_->page_loaded());
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        QTRY_COMPARE(Eval("track.getLatLngs().length").toInt(), 1);
    }

    void FloatingViewGoesWithItsDockParent() {
        auto* map = new CMapDlg(*host_, settings_);
        QPointer<CMapDlg> watch(map);
        map->ToggleFloating();
        QVERIFY(map->isWindow());
        host_.reset();
        QVERIFY(watch.isNull());
    }

    void PlaybackPageAndBack() {
        Create();
        WaitForPage();
        QCOMPARE(map_->view()->url(), CMapDlg::BuiltInPageUrl());
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);
        QTRY_COMPARE(Eval("track.getLatLngs().length").toInt(), 1);

        const QString playback = dir_.filePath("playback.htm");
        QVERIFY(WriteFile(playback, "<html><body><input id='map_status' value='untouched'></body></html>"));
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        map_->ShowPlaybackPage(QUrl::fromLocalFile(playback));
        QCOMPARE(map_->Index, CMapDlg::kPlaybackPage);
        QVERIFY(loaded.wait(20000));
        // Vehicle selection and positions leave the playback page alone; positions are still parsed.
        map_->SelectVehicle(1);
        QCOMPARE(map_->Index, CMapDlg::kPlaybackPage);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng, 30.0), 0), 1);
        QCOMPARE(map_->SpeedBar, 30.0 * 1.852);
        QCOMPARE(Eval("document.getElementById('map_status').value").toString(), QStringLiteral("untouched"));
        map_->Clear();
        QCOMPARE(map_->Index, CMapDlg::kPlaybackPage);

        // Back to the map: the built-in page again, nothing selected, the track gone.
        map_->BackToMap();
        QCOMPARE(map_->Index, CMapDlg::kNoVehicle);
        QCOMPARE(map_->map_status, QStringLiteral("clear"));
        QVERIFY(loaded.wait(20000));
        QCOMPARE(map_->view()->url(), CMapDlg::BuiltInPageUrl());
        QCOMPARE(Eval("document.getElementById('map_status').value").toString(), QStringLiteral("clear"));
        QCOMPARE(Eval("markers.length").toInt(), 0);
        map_->SelectVehicle(1);
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 1), 1);
        QTRY_COMPARE(Eval("markers.length").toInt(), 2);

        // A replacement page that appeared meanwhile is taken on the next way back.
        QVERIFY(WriteFile(replacement_, kReplacementPage));
        map_->ShowPlaybackPage(QUrl::fromLocalFile(playback));
        QVERIFY(loaded.wait(20000));
        map_->BackToMap();
        QVERIFY(loaded.wait(20000));
        QCOMPARE(map_->view()->url(), QUrl::fromLocalFile(replacement_));
    }

    // The playback page is remote content: it gets no web channel, and a profile of its own off the record.
    // Were the map page itself to go to such a page, the fleet object would still refuse it.
    void RemotePagesCannotReachTheFleet() {
        HostileServer server;
        QVERIFY(server.ready());
        Create();
        WaitForPage();
        QWebEnginePage* map_page = map_->view()->page();
        QCOMPARE(map_->Position(Gprmc(kLat, kLng), 0), 1);  // vehicle 0, "AB-3127", is on the fleet layer
        QSignalSpy activated(map_.get(), &CMapDlg::vehicleActivated);
        QSignalSpy clicked(map_.get(), &CMapDlg::vehicleClicked);

        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        map_->ShowPlaybackPage(server.Url());
        QVERIFY(loaded.wait(20000));
        QVERIFY(loaded.last().first().toBool());
        QCOMPARE(map_->view()->url(), server.Url());
        QTRY_VERIFY_WITH_TIMEOUT(Eval("probe.done").toBool(), 5000);
        QTest::qWait(300);  // calls, were there any, cross to the client
        QCOMPARE(activated.size(), 0);
        QCOMPARE(Eval("probe.transport").toBool(), false);
        QCOMPARE(Eval("probe.calls").toInt(), 0);
        QWebEnginePage* playback_page = map_->view()->page();
        QVERIFY(playback_page != map_page);
        QVERIFY(playback_page->profile() != map_page->profile());
        QVERIFY(playback_page->profile()->isOffTheRecord());

        // Back on the map: its own page with the fleet object again.
        map_->BackToMap();
        QVERIFY(loaded.wait(20000));
        QCOMPARE(map_->view()->page(), map_page);
        QCOMPARE(Eval("!!(window.qt && window.qt.webChannelTransport)").toBool(), true);

        // The map page sent to the hostile address: the page finds the fleet object and calls it, in vain.
        Eval(QStringLiteral("location.href = '%1'; true").arg(server.Url().toString()));
        QTRY_COMPARE_WITH_TIMEOUT(Eval("probe.done").toBool(), true, 10000);
        QCOMPARE(Eval("probe.fleet").toBool(), true);
        QCOMPARE(Eval("probe.calls").toInt(), 60);
        QTest::qWait(300);  // the calls cross to the client
        QCOMPARE(activated.size(), 0);
        QCOMPARE(clicked.size(), 0);
    }

    void OffsetTableCorrectsTheSelectedVehicle() {
        QVERIFY(WriteOffsetTable(settings_.offset_table_file, 0.01,
                                 {{121.47, {{31.22, 0.0045, -0.0021}, {31.23, 0.0046, -0.0022}}}}));
        // Fixed offsets are ignored while the table is in use.
        settings_.gps_offset_x = QStringLiteral("1.5");
        Create();
        WaitForPage();
        map_->SelectVehicle(0);
        QCOMPARE(map_->Position(Gprmc(kLat + 0.0012, kLng + 0.0034), 0), 1);
        QCOMPARE(map_->offset_lng, 0.0046);
        QCOMPARE(map_->offset_lat, -0.0022);
        QTRY_COMPARE(Eval("track.getLatLngs().length").toInt(), 1);
        QVERIFY(qAbs(Eval("track.getLatLngs()[0].lng").toDouble() - (kLng + 0.0034 + 0.0046)) < 1e-6);
        // Outside the table: no correction.
        QCOMPARE(map_->Position(Gprmc(kLat + 0.5, kLng), 0), 1);
        QCOMPARE(map_->offset_lng, 0.0);
        QCOMPARE(map_->offset_lat, 0.0);
    }

  private:
    void Create() {
        host_->dock_parent.show();
        map_ = std::make_unique<CMapDlg>(*host_, settings_);
    }
    void WaitForPage() {
        QSignalSpy loaded(map_.get(), &CMapDlg::PageLoaded);
        QVERIFY(loaded.wait(20000));
        QVERIFY(loaded.first().first().toBool());
    }
    QVariant Eval(const QString& script) { return RunScript(map_->view()->page(), script); }

    QTemporaryDir dir_;
    QString replacement_;
    std::unique_ptr<TestMapHost> host_;
    std::unique_ptr<CMapDlg> map_;
    MapViewSettings settings_;
};

QTEST_MAIN(MapDlgTest)
#include "map_dlg_display_test.moc"
