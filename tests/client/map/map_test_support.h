// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the map view's test programs: WebEngine start-up flags, a stand-in for the main window, position
// sentences and a synchronous way to read the page's state.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include "../client_fixture.h"
#include "fleet/dev_tree.h"
#include "main_window_fixture.h"
#include "map/map_dlg.h"
#include "shell/app_main_dlg.h"

// Qt WebEngine needs contexts shared before the application object exists, and no sandbox as root.
inline const bool kWebEngineTestSetUp = [] {
    if (geteuid() == 0) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

// Config.ini lines giving both tile layers an address nothing answers: no test reaches the internet.
inline const QByteArray kUnreachableTilesConfig =
    "MapTiles_Road=http://127.0.0.1:9/{z}/{x}/{y}.png\n"
    "MapTiles_Satellite=http://127.0.0.1:9/{z}/{x}/{y}.png\n";

// The map inside the whole client: velq-sim's center on 127.0.0.1, the client pointed at it (map tiles
// unreachable), its main window shown and Login pressed. Start is false, with the reason in the test log,
// when the center does not start or the tree has not listed `vehicles` entries within 10 s.
class MapWindowSession {
  public:
    [[nodiscard]] bool Start(const ScratchHome& home, int vehicles) {
        if (!center_.started()) return false;
        home.WriteFile("Config.ini", "[Tavrin]\n" + center_.ConfigLines() + kUnreachableTilesConfig);
        client_ = home.StartClient();
        window_ = std::make_unique<MainWindowFixture>(*client_);
        window().show();
        window().PressLogin();
        return QTest::qWaitFor([&] { return TreeOf(window())->EntryCount() >= vehicles; }, 10000);
    }
    CAppMainDlg& window() { return window_->window(); }

  private:
    // Destroyed bottom up: the window logs out while the center still answers.
    SimCenter center_;
    std::unique_ptr<CAppClient> client_;
    std::unique_ptr<MainWindowFixture> window_;
};

class TestMapHost : public MapViewHost {
  public:
    TestMapHost() { dock_parent.resize(1024, 768); }
    QWidget* MapDockParent() override { return &dock_parent; }
    QString VehicleIdAtRow(int row) const override { return vehicle_ids.value(row); }
    bool ShowsPlaybackPanel() const override { return playback_panel; }
    QSize GridAreaSize() const override { return grid_size; }

    QWidget dock_parent;
    QStringList vehicle_ids{QStringLiteral("AB-3127"), QStringLiteral("CD-0042")};
    bool playback_panel = false;
    QSize grid_size{640, 480};
};

// A valid $GPRMC sentence for the position (degrees), speed (knots) and course (degrees).
inline QByteArray Gprmc(double latitude, double longitude, double speed_knots = 10.0, double course = 0.0) {
    auto coordinate = [](double value, int degree_digits) {
        const double magnitude = std::fabs(value);
        const int degrees = int(magnitude);
        const double minutes = (magnitude - degrees) * 60.0;
        char text[32];
        std::snprintf(text, sizeof text, "%0*d%07.4f", degree_digits, degrees, minutes);
        return QByteArray(text);
    };
    QByteArray body = "GPRMC,120000,A," + coordinate(latitude, 2) + (latitude < 0 ? ",S," : ",N,") +
                      coordinate(longitude, 3) + (longitude < 0 ? ",W," : ",E,") +
                      QByteArray::number(speed_knots, 'f', 1) + "," + QByteArray::number(course, 'f', 1) +
                      ",081226,,,A";
    unsigned char sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char checksum[4];
    std::snprintf(checksum, sizeof checksum, "%02X", sum);
    return "$" + body + "*" + checksum;
}

// Runs a script in the page and waits (at most 5 s) for its result; an invalid QVariant when none came.
inline QVariant RunScript(QWebEnginePage* page, const QString& script) {
    struct Result {
        bool done = false;
        QVariant value;
    };
    auto result = std::make_shared<Result>();
    page->runJavaScript(script, [result](const QVariant& value) {
        result->value = value;
        result->done = true;
    });
    QDeadlineTimer deadline(5000);
    while (!result->done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result->value;
}
