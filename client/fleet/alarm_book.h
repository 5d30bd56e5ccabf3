// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm episodes the client knows: those loaded from the history at start and those opened since.
// An episode opens when an alarm word of a vehicle is seen active while none of that word is open, and
// closes when the word is seen inactive. Acknowledging stamps an episode with the user, the time and a
// comment once; an episode already acknowledged keeps its first stamp. The book holds at most
// `capacity` episodes: the oldest episodes that are closed and acknowledged leave first, so memory stays
// bounded while nothing the operator still has to see is dropped. A word that goes back on within the
// reopen window after going off reopens its unacknowledged episode and counts a repeat, so a flapping
// word in an alarm storm is one episode, not thousands. Plain class, UI thread only.
#include <QHash>
#include <QList>
#include <deque>
#include <functional>

#include "fleet/alarm_episode.h"

class AlarmBook {
  public:
    // kAboutToOpen / kAboutToDrop come before the episode enters (as the newest) or leaves (as the oldest),
    // kOpened / kDropped right after, so a list model can announce its rows; the others after the change.
    // kReopened: a closed episode is active again with one more repeat.
    enum class Change { kAboutToOpen, kOpened, kCleared, kReopened, kAcknowledged, kAboutToDrop, kDropped };
    using Listener = std::function<void(const AlarmEpisode&, Change)>;

    explicit AlarmBook(int capacity = 20000) : capacity_(capacity < 1 ? 1 : capacity) {}

    void SetListener(Listener listener) { listener_ = std::move(listener); }
    // A word seen active again at most `seconds` after its unacknowledged episode closed reopens that
    // episode (0: never; every activation opens a new episode).
    void SetReopenWindow(int64_t seconds) { reopen_window_s_ = seconds < 0 ? 0 : seconds; }

    // Takes episodes read back from the history (newest last); ids continue after the largest. Episodes
    // still active stay open for their vehicle and word.
    void Load(const QList<AlarmEpisode>& episodes);

    // A vehicle's alarm word `word` (8..18; other words are ignored) seen active or inactive at time_s.
    // at_login marks an episode opened by the first look at a vehicle after login. The zone words are
    // kept apart per zone (`zone`, its name, required for them and refused for the others). Returns the id of
    // the episode opened, reopened or closed, or 0 when nothing changed.
    int64_t Observe(const QString& device_id, const QString& label, int word, bool active, int64_t time_s,
                    bool at_login = false, const QString& zone = QString());

    // Acknowledges the given episodes that are not yet acknowledged; returns how many were.
    int Acknowledge(const QList<int64_t>& ids, const QString& user, const QString& comment, int64_t time_s);

    // Episodes oldest first (the index is a row of the list, newest last).
    int size() const { return int(episodes_.size()); }
    const AlarmEpisode& at(int index) const { return episodes_[size_t(index)]; }
    // Null when the id is not (or no longer) held.
    const AlarmEpisode* Find(int64_t id) const;
    int UnacknowledgedCount() const { return unacknowledged_; }
    // Unacknowledged episodes of one vehicle.
    int UnacknowledgedOf(const QString& device_id) const { return unacked_by_vehicle_.value(device_id); }
    // The id the next episode gets.
    int64_t nextId() const { return next_id_; }

  private:
    void Append(const AlarmEpisode& episode);
    void Notify(const AlarmEpisode& episode, Change change) {
        if (listener_) listener_(episode, change);
    }
    void CountUnacked(const QString& device_id, int delta);
    void Trim();
    AlarmEpisode* Get(int64_t id);

    int capacity_;
    std::deque<AlarmEpisode> episodes_;  // ids grow along the deque, so an id is found by bisection
    QHash<QString, int64_t> open_;       // device id + '\n' + word -> open episode id
    QHash<QString, int64_t> closed_;     // ... -> the episode it last closed, while it may still reopen
    QHash<QString, int> unacked_by_vehicle_;
    int unacknowledged_ = 0;
    int64_t next_id_ = 1;
    int64_t reopen_window_s_ = 0;
    Listener listener_;
};
