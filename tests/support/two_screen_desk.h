// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desk of the two-screen tests (files named *_screens_display_test.cpp, which run under an X server
// with two screens): the live client on a scratch folder with a 2 x 2 grid and no folder opened after a
// snapshot, and the lookups those tests share, the wall shown on a screen and the tile that plays a
// channel of the fleet's first vehicle.
#include <QApplication>
#include <QScreen>
#include <QTest>

#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"
#include "live_client.h"
#include "shell/wall_window.h"

class TwoScreenDesk {
  public:
    // The vehicle whose channels the tests play.
    static inline const QByteArray kDevice{"MDVR-10001"};

    // For initTestCase: checks that the X server has the two screens, starts velq-sim and the client (see
    // LiveClient::Start). A test failure (which skips the test functions) when either is missing.
    void Start() {
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QVERIFY2(live_.Start(home_, QStringLiteral("SnapshotOpenPath=0\nUIWindowRow=2\nUIWindowCol=2\n")),
                 "velq-sim did not start");
    }
    void Stop() { live_.Stop(); }

    ScratchHome& home() { return home_; }
    LiveClient& live() { return live_; }

    // The visible wall on screen `screen` (counted from 1); null when there is none.
    static WallWindow* WallOnScreen(int screen) {
        QScreen* wanted = QGuiApplication::screens().value(screen - 1);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* wall = qobject_cast<WallWindow*>(widget);
                wall && wall->isVisible() && wall->screen() == wanted)
                return wall;
        }
        return nullptr;
    }

    // The tile of `grid` that shows channel `channel` of kDevice, once it presents pictures (20 s at
    // most); null when it does not.
    static CDevShowDlg* PlayingTile(PageTab* grid, DevTree* tree, int channel) {
        CDevShowDlg* tile = nullptr;
        const bool plays = QTest::qWaitFor(
            [&] {
                tile = grid->FindWindowOfNode(tree->FindChannelNode(kDevice, channel));
                return tile && tile->channel && tile->Stats().presented >= 5;
            },
            20000);
        return plays ? tile : nullptr;
    }

  private:
    ScratchHome home_;
    LiveClient live_;
};
