// SPDX-License-Identifier: GPL-3.0-or-later
// The route replay and a real recording of the same vehicle, joined as the main window joins them: the
// "Video" button is offered only where a recording covers the moment and opens the player there; moving
// the slider seeks the player, the player's own seeks and playback move the slider, and neither seek
// comes back to the side that made it.
#include <QDateTime>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include "../recordings/recorded_material.h"
#include "corvel/record_times.h"
#include "map/replay_panel.h"
#include "recordings/player_window.h"
#include "recordings/recordings_launcher.h"
#include "shell/replay_video_wiring.h"

namespace {

QString English(const QString& text) {
    return text;
}

}  // namespace

class ReplayVideoWiringTest : public QObject {
    Q_OBJECT
    RecordedMaterial material_;
    QTemporaryDir home_;
    QString record_;
    qint64 first_ms_ = 0;  // the recording's first and last frame
    qint64 last_ms_ = 0;

    // One point a second from 30 s before the recording to 30 s after it, driving north.
    QList<PositionFix> Track(int64_t from_s, int64_t to_s) const {
        QList<PositionFix> track;
        const int64_t start_s = first_ms_ / 1000 - 30;
        for (int64_t t = start_s; t <= last_ms_ / 1000 + 30; ++t) {
            if (t < from_s || t > to_s) continue;
            track.append(
                *MakeFix(QStringLiteral("MDVR-10001"), t, 48.1 + (t - start_s) * 1e-5, 11.55, 30, 0));
        }
        return track;
    }

    // The slider's value at a wall-clock moment.
    static int SliderAt(const ReplayPanel& panel, qint64 unix_ms) {
        return int((unix_ms - panel.replay().start_ms()) / 1000);
    }

  private slots:
    void initTestCase() {
        QVERIFY(material_.started());
        record_ = home_.path() + QStringLiteral("/Record");
        const QString recording = material_.RecordClip(record_, QStringLiteral("AB-3127-chn01"), 5000);
        QVERIFY(!recording.isEmpty());
        const velq::times::RecordTimes times = velq::times::ReadFile((recording + ".times").toStdString());
        QVERIFY(!times.empty() && times.end);
        first_ms_ = times.points.front().unix_ms;
        last_ms_ = times.end->unix_ms;
        QVERIFY(last_ms_ - first_ms_ >= 4000);
    }

    void sliderAndPlayerFollowEachOther() {
        QWidget main_window;
        recordings::RecordingsLauncher launcher(
            [this] {
                return recordings::RecordingFolders{record_, home_.path() + "/Snapshot"};
            },
            English);
        ReplayPanel panel(
            {[] {
                 return QList<QPair<QString, QString>>{{"MDVR-10001", "AB-3127"}};
             },
             [this](const QString&, int64_t from_s, int64_t to_s) { return Track(from_s, to_s); },
             {},
             {}},
            &main_window);
        WireReplayVideo(
            panel, launcher, [this] { return QStringList{record_}; },
            [](const QString& id) { return id == "MDVR-10001" ? QStringLiteral("AB-3127") : QString(); },
            &main_window);
        QVERIFY(!panel.videoButton()->isHidden());
        panel.RefreshVehicles();
        panel.fromEdit()->setDateTime(QDateTime::fromMSecsSinceEpoch(first_ms_ - 600000));
        panel.toEdit()->setDateTime(QDateTime::fromMSecsSinceEpoch(last_ms_ + 600000));
        panel.ShowTrack();
        QVERIFY(!panel.replay().empty());

        // 30 s before the recording: nothing to offer, and asking says why.
        QVERIFY(!panel.videoButton()->isEnabled());
        QVERIFY(!panel.OpenVideo());
        QVERIFY(panel.statusLabel()->text().startsWith("No local recording of this vehicle at "));

        // Into the recording: offered (after the lookup interval) and opened at the slider's moment.
        const qint64 into_ms = panel.replay().start_ms() + 1000 * SliderAt(panel, first_ms_ + 1500);
        panel.slider()->setValue(SliderAt(panel, into_ms));
        QTRY_VERIFY_WITH_TIMEOUT(panel.videoButton()->isEnabled(), 3000);
        QSignalSpy moved(&panel.videoLink(), &ReplayVideoLink::playerMoved);
        QVERIFY(panel.OpenVideo());
        QPointer<recordings::PlayerWindow> player = panel.videoLink().player();
        QVERIFY(player && player->isVisible());
        QVERIFY(std::abs(player->ShownTime().toMSecsSinceEpoch() - into_ms) <= 100);

        // The slider seeks the player; the player's answer does not come back.
        panel.slider()->setValue(panel.slider()->value() + 2);
        QVERIFY(std::abs(player->ShownTime().toMSecsSinceEpoch() - (into_ms + 2000)) <= 100);
        QCOMPARE(panel.replay().time_ms(), into_ms + 2000);
        QCOMPARE(moved.count(), 0);

        // A seek in the player moves the replay to the very frame, and the slider without seeking back.
        QVERIFY(player->SeekToTime(QDateTime::fromMSecsSinceEpoch(into_ms + 500)));
        const qint64 shown_ms = player->ShownTime().toMSecsSinceEpoch();
        QCOMPARE(moved.count(), 1);
        QCOMPARE(panel.replay().time_ms(), shown_ms);
        QCOMPARE(panel.slider()->value(), SliderAt(panel, shown_ms));
        QCOMPARE(player->ShownTime().toMSecsSinceEpoch(), shown_ms);

        // The player plays and the replay follows; the replay's play pauses the player.
        player->TogglePlay();
        QTRY_VERIFY_WITH_TIMEOUT(panel.replay().time_ms() >= shown_ms + 1000, 5000);
        QVERIFY(!panel.playing());
        QVERIFY(std::abs(panel.replay().time_ms() - player->ShownTime().toMSecsSinceEpoch()) <= 300);
        panel.SetPlaying(true);
        QVERIFY(!player->player().playing());
        panel.SetPlaying(false);

        // Past the recording the player keeps its last picture and the button is no longer offered.
        panel.slider()->setValue(panel.slider()->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(!panel.videoButton()->isEnabled(), 3000);
        QVERIFY(player->ShownTime().toMSecsSinceEpoch() <= last_ms_);
        player->close();
    }
};

QTEST_MAIN(ReplayVideoWiringTest)
#include "replay_video_wiring_test.moc"
