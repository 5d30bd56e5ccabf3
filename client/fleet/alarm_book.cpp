// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/alarm_book.h"

#include <algorithm>
#include <limits>

QString AlarmWordText(int word) {
    static const char* const kWords[8] = {"GPIO 0 Alarm",     "GPIO 1 Alarm",    "GPIO 2 Alarm",
                                          "GPIO 3 Alarm",     "Disk Error",      "Over Speed",
                                          "Reserved Alarm 6", "Reserved Alarm 7"};
    static const char* const kZoneWords[3] = {"Entered zone %1", "Left zone %1", "Speeding in zone %1"};
    if (word >= kZoneEnteredWord && word <= kZoneSpeedingWord) return QLatin1String(kZoneWords[word - 16]);
    if (word < 8 || word > 15) return QString();
    return QLatin1String(kWords[word - 8]);
}

QString AlarmKindText(const AlarmEpisode& episode, const std::function<QString(const QString&)>& translate) {
    const QString word = translate(AlarmWordText(episode.word));
    if (episode.word < kZoneEnteredWord) return word;
    // The name goes in as the last step: a name holding "%2" must not be taken for a placeholder.
    return word.contains(QLatin1String("%1")) ? word.arg(episode.zone) : word + u' ' + episode.zone;
}

namespace {

QString OpenKey(const QString& device_id, int word, const QString& zone = QString()) {
    return device_id + u'\n' + QString::number(word) + u'\n' + zone;
}

}  // namespace

void AlarmBook::Load(const QList<AlarmEpisode>& episodes) {
    for (const AlarmEpisode& episode : episodes) {
        if (episode.id < next_id_ && !episodes_.empty()) continue;  // ids must keep growing
        next_id_ = std::max(next_id_, episode.id + 1);
        Append(episode);
        if (episode.active())
            open_.insert(OpenKey(episode.device_id, episode.word, episode.zone), episode.id);
    }
}

int64_t AlarmBook::Observe(const QString& device_id, const QString& label, int word, bool active,
                           int64_t time_s, bool at_login, const QString& zone) {
    if (word < kFirstAlarmWord || word > kLastAlarmWord || device_id.isEmpty()) return 0;
    // The zone words are the client's own and always name their zone; the library's words never do.
    if ((word >= kZoneEnteredWord) == zone.isEmpty()) return 0;
    const QString key = OpenKey(device_id, word, zone);
    const int64_t open_id = open_.value(key);
    if (active) {
        if (open_id != 0) return 0;
        if (AlarmEpisode* last = reopen_window_s_ > 0 ? Get(closed_.value(key)) : nullptr;
            last && !last->active() && !last->acknowledged() &&
            time_s - last->cleared_s <= reopen_window_s_) {
            closed_.remove(key);
            last->cleared_s = 0;
            if (last->repeats < std::numeric_limits<int>::max()) ++last->repeats;
            open_.insert(key, last->id);
            Notify(*last, Change::kReopened);
            return last->id;
        }
        closed_.remove(key);
        AlarmEpisode episode;
        episode.id = next_id_++;
        episode.device_id = device_id;
        episode.label = label;
        episode.word = word;
        episode.zone = zone;
        episode.started_s = time_s;
        episode.at_login = at_login;
        open_.insert(key, episode.id);
        Append(episode);
        return episode.id;
    }
    if (open_id == 0) return 0;
    open_.remove(key);
    AlarmEpisode* episode = Get(open_id);
    if (!episode) return 0;
    // A clock step back must not make an episode end before it began.
    episode->cleared_s = std::max(time_s, episode->started_s);
    if (episode->cleared_s == 0) episode->cleared_s = 1;
    if (reopen_window_s_ > 0 && !episode->acknowledged()) closed_.insert(key, open_id);
    Notify(*episode, Change::kCleared);
    return open_id;
}

int AlarmBook::Acknowledge(const QList<int64_t>& ids, const QString& user, const QString& comment,
                           int64_t time_s) {
    int done = 0;
    for (const int64_t id : ids) {
        AlarmEpisode* episode = Get(id);
        if (!episode || episode->acknowledged()) continue;
        episode->ack_user = user;
        episode->ack_s = std::max<int64_t>(time_s, 1);
        episode->ack_comment = comment;
        CountUnacked(episode->device_id, -1);
        ++done;
        Notify(*episode, Change::kAcknowledged);
    }
    return done;
}

const AlarmEpisode* AlarmBook::Find(int64_t id) const {
    const auto it = std::lower_bound(episodes_.begin(), episodes_.end(), id,
                                     [](const AlarmEpisode& e, int64_t value) { return e.id < value; });
    return it != episodes_.end() && it->id == id ? &*it : nullptr;
}

AlarmEpisode* AlarmBook::Get(int64_t id) {
    return const_cast<AlarmEpisode*>(std::as_const(*this).Find(id));
}

void AlarmBook::Append(const AlarmEpisode& episode) {
    Notify(episode, Change::kAboutToOpen);
    episodes_.push_back(episode);
    if (!episode.acknowledged()) CountUnacked(episode.device_id, +1);
    Notify(episodes_.back(), Change::kOpened);
    Trim();
}

void AlarmBook::CountUnacked(const QString& device_id, int delta) {
    unacknowledged_ += delta;
    int& count = unacked_by_vehicle_[device_id];
    count += delta;
    if (count <= 0) unacked_by_vehicle_.remove(device_id);
}

void AlarmBook::Trim() {
    // Only the oldest episode can leave (rows stay in order). While it still matters the book grows past
    // its capacity rather than hide it, up to twice the capacity: beyond that the oldest leaves anyway
    // (the history keeps it), so a flood nobody acknowledges cannot take all memory.
    while (int(episodes_.size()) > capacity_) {
        const AlarmEpisode& oldest = episodes_.front();
        const bool pending = oldest.active() || !oldest.acknowledged();
        if (pending && int(episodes_.size()) <= 2 * capacity_) break;
        const AlarmEpisode gone = oldest;
        Notify(gone, Change::kAboutToDrop);
        episodes_.pop_front();
        if (!gone.acknowledged()) CountUnacked(gone.device_id, -1);
        const QString key = OpenKey(gone.device_id, gone.word, gone.zone);
        if (open_.value(key) == gone.id) open_.remove(key);
        if (closed_.value(key) == gone.id) closed_.remove(key);
        Notify(gone, Change::kDropped);
    }
}
