// SPDX-License-Identifier: GPL-3.0-or-later
// The Audio and Talk commands of the channel menu through the real sound backends: the client logged in
// to the simulated platform, its library on PortAudio, PortAudio on a PulseAudio server of the test's
// own whose null sink's monitor is both what the test records and the microphone. Skipped, saying why,
// where PulseAudio cannot start.
#include <QtTest>
#include <algorithm>
#include <cstdlib>

#include "../client_fixture.h"
#include "fleet/dev_tree.h"
#include "grid/channel_actions.h"
#include "live_client.h"
#include "main_window_fixture.h"
#include "platform.h"
#include "platform/sound_wav_file.h"
#include "pulse_server.h"
#include "shell/app_main_dlg.h"

namespace {

using corvel::test::ChildProcess;
using corvel::test::PulseServer;

// What the library decodes from a channel, written by velq's wav backend: the simulator's source starts
// afresh for every stream, so the client's stream plays the same sound.
std::vector<int16_t> DecodedByVelq(velq_sim::SimPlatform& platform, const std::string& wav) {
    ChildProcess velq;
    corvel::test::ScopedEnv output("CORVEL_SOUND_OUT", "wav:" + wav);
    if (!velq.Start({CORVEL_TEST_BUILD_DIR "/tools/velq/velq", "listen", "MDVR-10001", "1", "--duration", "4",
                     "--tcp-port", std::to_string(platform.center().tcp_port()), "--udp-port",
                     std::to_string(platform.center().udp_port())})) {
        return {};
    }
    corvel::WavFileData data;
    std::string error;
    if (velq.Wait(std::chrono::seconds(20)) != 0 || !corvel::ReadWavFile(wav, &data, &error)) return {};
    return data.samples;
}

}  // namespace

class SoundCommandsTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<PulseServer> pulse_;
    LiveClient live_;

  private slots:
    void initTestCase() {
        pulse_ = std::make_unique<PulseServer>(home_.path().toStdString() + "pulse");
        std::string why;
        if (!pulse_->Start(&why)) QSKIP(("PulseAudio cannot start here: " + why).c_str());
        // The session opens the backends named here when it is made.
        setenv("CORVEL_SOUND_OUT", "portaudio", 1);
        setenv("CORVEL_SOUND_IN", "portaudio", 1);
        QVERIFY2(live_.Start(home_), "velq-sim did not start");
    }
    void cleanupTestCase() {
        live_.Stop();
        pulse_.reset();
    }

    void audioThenTalk() {
        const std::vector<int16_t> decoded =
            DecodedByVelq(live_.platform(), home_.path().toStdString() + "decoded.wav");
        QVERIFY2(decoded.size() >= 10000, "velq's wav run gave no reference");

        MainWindowFixture window_fixture(live_.client());

        CAppMainDlg& window = window_fixture.window();
        QVERIFY2(ShowAndLogIn(window), "the fleet was not listed");
        DevTree* tree = TreeOf(window);
        window.SelectDeviceNode(tree->FindChannelNode(QByteArray("MDVR-10001"), 1));
        const DevTreeEntry* entry = tree->EntryOf(tree->currentItem());
        QVERIFY(entry);

        // Audio: the channel's sound reaches the server's monitor.
        {
            corvel::test::MonitorRecording monitor(home_.path().toStdString() + "monitor.raw");
            ActionsOf(window).Run(kCommandAudio);
            QVERIFY(entry->audio_channel && VelqChn_IsAudioPlaying(entry->audio_channel));
            // The stream needs a moment to connect on a loaded machine; then 3.5 s of it are heard.
            QTRY_VERIFY_WITH_TIMEOUT(corvel::test::PeakOf(monitor.Samples()) > 1000, 10000);
            QTest::qWait(3500);
            ActionsOf(window).Run(kCommandAudio);
            // The stop runs on the channel stopper's worker.
            QTRY_VERIFY(!VelqChn_IsAudioPlaying(entry->audio_channel));
            QTest::qWait(300);  // the last blocks leave the server
            monitor.Stop();
            // The decoded sound must turn up in the server's monitor, piece by piece: the pieces survive
            // a block skipped by an audio thread that a loaded machine delayed; most must be there.
            const std::vector<int16_t> heard_samples = monitor.Samples();
            // The reference from 1 s after its sound begins (a loaded machine may start velq's stream late;
            // the frames a sound server's start leaves standing are dropped in the first second), for the
            // 1.5 s after that, which the client's stream surely played.
            const auto loud =
                std::find_if(decoded.begin(), decoded.end(), [](int16_t v) { return std::abs(v) > 1000; });
            const size_t from = static_cast<size_t>(loud - decoded.begin()) + 8000;
            const auto heard = corvel::test::FindPieces(heard_samples, decoded, from, from + 12000);
            qInfo("50 ms pieces of the decoded sound heard: %d of %d", heard.found, heard.pieces);
            QVERIFY2(heard.pieces >= 20, "the decoded reference is mostly silent");
            QVERIFY2(heard.found >= heard.pieces / 2, qPrintable(QStringLiteral("pieces not heard (sample: "
                                                                                "best correlation):") +
                                                                 QString::fromStdString(heard.missed)));
        }

        // Talk: a 700 Hz tone played into the sink is the microphone; the vehicle receives it.
        QVERIFY(pulse_->Pactl("load-module module-sine sink=out frequency=700"));
        ActionsOf(window).Run(kCommandTalk);
        QVERIFY(VelqChn_IsTalking(entry->audio_channel));
        QTRY_VERIFY_WITH_TIMEOUT(live_.platform().transfer().talk_pcm().size() >= 4 * 1920, 10000);
        ActionsOf(window).Run(kCommandTalk);
        QTRY_VERIFY(!VelqChn_IsTalking(entry->audio_channel));
        std::vector<int16_t> talk = live_.platform().transfer().talk_pcm();
        talk.erase(talk.begin(), talk.begin() + 1920);  // the microphone's start, the decoder settling
        size_t loud = 0;
        const double hz = corvel::test::CrossingHz(talk, &loud);
        QVERIFY2(loud > 3000, qPrintable(QString::number(loud)));
        QVERIFY2(std::abs(hz - 700) < 25, qPrintable(QString::number(hz)));
        window.close();
    }
};

QTEST_MAIN(SoundCommandsTest)
#include "sound_commands_sound_display_test.moc"
