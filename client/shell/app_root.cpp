// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/app_root.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/app_client.h"
#include "app/app_profile.h"
#include "app/channel_stopper.h"
#include "app/own_prefs.h"
#include "app/own_settings.h"
#include "app/session_controller.h"
#include "app/settings_store.h"
#include "fleet/alarm_desk.h"
#include "map/replay_panel.h"
#include "positions/position_history.h"
#include "positions/position_store.h"
#include "recordings/player_window.h"
#include "recordings/recordings_launcher.h"
#include "shell/alarm_evidence_wiring.h"
#include "shell/app_main_dlg.h"
#include "shell/position_wiring.h"
#include "shell/replay_video_wiring.h"

namespace {

recordings::RecordingFolders FoldersOf(const CAppClient& client) {
    return {client.settings.RecordPath, client.settings.SnapshotPath};
}

QString TranslateText(const QString& english) {
    return AppProfile::Translate(english);
}

}  // namespace

int RunMainWindow(CAppClient& client, bool login, const QString& page, bool fullscreen,
                  const std::vector<WallPage>& walls) {
    // Declared before the window, so that it outlives the windows it opens as the main window's children.
    recordings::RecordingsLauncher recordings([&client] { return FoldersOf(client); }, TranslateText);
    // Channels are stopped off the UI thread; the stopper outlives the session, whose logout waits for
    // the stops still running.
    ChannelStopper stopper(ChannelStopper::QueuedPost());
    // The session outlives the window: the window's display windows release their channels first.
    SessionController session(stopper);
    // Settings of this client's own features (Tavrin.ini), beside the documented ones of Config.ini.
    // Config.ini's settings, through which the window's dialogs read and save.
    SettingsStore store(client.profile());
    OwnSettings own(store.programFolder());
    // Keys an older client kept in Config.ini move over once; a failed copy loses nothing (they are still
    // read from there).
    for (const QString& key : MigrateMovedKeys(own))
        std::fprintf(stderr, "tavrin: could not copy %s to %s\n", qPrintable(key), qPrintable(own.path()));
    auto window = std::make_unique<CAppMainDlg>(client.settings, store, session, own);
    // The evidence export's track comes from the window's position history; the players that ask are the
    // window's children, so the history is there when they do.
    recordings.SetTrackSource(
        [history = window->positions()](const QString& vehicle_label, int64_t from_s, int64_t to_s) {
            // Points of the last second may still wait for the writer's next commit.
            history->store().Flush(500);
            return EvidenceTrack(
                history->path(), [history](const QString& id) { return history->LabelOf(id); }, vehicle_label,
                from_s, to_s);
        });
    // The route replay opens the vehicle's recordings at the replayed moment.
    if (auto* replay = window->findChild<ReplayPanel*>(QStringLiteral("route_replay")))
        WireReplayVideo(
            *replay, recordings, [&client] { return QStringList{client.settings.RecordPath}; },
            [history = window->positions()](const QString& id) { return history->LabelOf(id); },
            window.get());
    window->SetRecordingsCommand([&recordings, w = window.get()] { recordings.ShowRecordings(w); });
    // The Record folder as it is when the dialog is made: the lookup runs on the dialog's worker, which
    // must not read settings the UI thread may change.
    window->alarms()->SetHistorySetup([&recordings, &client, w = window.get()](AlarmHistoryDlg& history) {
        WireAlarmEvidence(
            history, recordings, [record = client.settings.RecordPath] { return QStringList{record}; },
            TranslateText, w);
    });
    if (!page.isEmpty()) window->LoadPageWhenListed(page);
    for (const WallPage& wall : walls) {
        if (!window->ShowWallPage(wall.screen, wall.file))
            std::fprintf(stderr, "tavrin: no screen %d for the wall of %s\n", wall.screen,
                         qPrintable(wall.file));
    }
    if (fullscreen) {
        // A wall screen has nobody at it to answer a question.
        window->SetAskBeforeLosingRecordings(false);
        window->showFullScreen();
    } else
        window->show();
    if (login) QTimer::singleShot(0, window.get(), [w = window.get()] { w->PressLogin(); });
    const int code = QApplication::exec();
    window.reset();
    return code;
}

int RunPlayerWindow(CAppClient& client, const QString& file) {
    recordings::RecordingsLauncher recordings([&client] { return FoldersOf(client); }, TranslateText);
    QString error;
    // Closing deletes the window; one still open when the loop ends (a signal) goes after it.
    QPointer<recordings::PlayerWindow> player = recordings.OpenPlayer(file, nullptr, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tavrin: %s\n", qPrintable(error));
        // The player has nothing to show, so it goes first: the box then has no parent that could be
        // deleted under its exec(), which a signal (or the answer) ends; the box goes after, with the stack.
        delete player.data();
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrin"), error, QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return 1;
    }
    const int code = QApplication::exec();
    delete player.data();
    return code;
}
