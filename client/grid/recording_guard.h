// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Before the operator logs out or exits while channels record: how many record, and the question whether
// to stop them and go on. UI thread only.
#include <QString>
#include <functional>

class GridModel;
struct AppChannel;
class QWidget;

// The channels of the grid's windows that record now. A channel for which `stopping` says true counts as
// not recording: its recording's stop has been handed to the stopper's worker, which has not run it yet
// (the library still reports it recording, but nothing is lost by going on).
int RecordingChannels(const GridModel& model, const std::function<bool(AppChannel*)>& stopping = {});
// Asks, modal to `parent`, whether to stop `recording` recordings and go on; Yes is the default button,
// so Enter confirms. True: go on.
bool AskToStopRecording(QWidget* parent, int recording);
// The question's text (translated), for the box and for tests.
QString StopRecordingQuestion(int recording);
