// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/recording_guard.h"

#include <QMessageBox>
#include <QPointer>

#include "app/app_profile.h"
#include "grid/grid_model.h"

int RecordingChannels(const GridModel& model, const std::function<bool(AppChannel*)>& stopping) {
    int recording = 0;
    const auto& windows = model.Windows();
    for (int i = 0; i < model.BoundCount(); ++i) {
        const GridSlot* slot = windows[size_t(i)];
        if (slot->channel && VelqChn_IsRecording(slot->channel) && !(stopping && stopping(slot->channel)))
            ++recording;
    }
    return recording;
}

QString StopRecordingQuestion(int recording) {
    return AppProfile::Translate(QStringLiteral("%1 channel(s) are recording. Stop recording and go on?"))
        .arg(recording);
}

bool AskToStopRecording(QWidget* parent, int recording) {
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Question, parent ? parent->windowTitle() : QString(),
                        StopRecordingQuestion(recording), QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Yes);
    box->setEscapeButton(QMessageBox::No);
    const int answer = box->exec();
    // The box may go with its parent while it is up (the program told to end): that is no "yes".
    const bool go_on = box && answer == QMessageBox::Yes;
    delete box;
    return go_on;
}
