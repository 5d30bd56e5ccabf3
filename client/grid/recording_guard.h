// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Before the operator logs out or exits while channels record: how many record, and the question whether
// to stop them and go on. UI thread only.
#include <QString>

class GridModel;
class QWidget;

// The channels of the grid's windows that record now.
int RecordingChannels(const GridModel& model);
// Asks, modal to `parent`, whether to stop `recording` recordings and go on; Yes is the default button,
// so Enter confirms. True: go on.
bool AskToStopRecording(QWidget* parent, int recording);
// The question's text (translated), for the box and for tests.
QString StopRecordingQuestion(int recording);
