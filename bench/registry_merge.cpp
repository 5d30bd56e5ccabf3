// Merges device lists of 1k, 10k and 100k devices into a session's registry the way the center-server
// thread does (BeginList, MergeDevice per record, EndList) and prints the time per merge. The registry
// finds devices through an index on the name key, so the time should grow linearly with the list.
//
//   build/release/bench/registry_merge
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/le.h"
#include "corvel/corvel.h"
#include "session/session.h"

namespace {

class CountingWindow : public VelqWindow {
  public:
    void PostMessage(uint32_t, uintptr_t, intptr_t) override { ++posted; }
    VelqPresentResult PresentPicture(const VelqPicture&) override { return VELQ_PRESENT_OK; }
    size_t posted = 0;
};

// Each record is made in a small hot buffer the way the center-server thread receives it from the socket,
// then bound to a candidate device and merged.
double MergeMs(AppSession& session, const std::vector<std::string>& ids) {
    corvel::DeviceRecord record;
    corvel::StoreLE32(record.bytes, corvel::DeviceRecord::kBytes);
    record.set_channel_count(4);
    const auto start = std::chrono::steady_clock::now();
    session.BeginList(static_cast<uint32_t>(ids.size()));
    AppDevice* spare = nullptr;
    uint32_t report = 1700000000u;
    for (const auto& id : ids) {
        record.set_id(id);
        record.set_last_report(++report);
        AppDevice* candidate = spare != nullptr ? spare : session.TakeDevice();
        candidate->BindRecord(&session, record.bytes);
        spare = session.MergeDevice(candidate) ? nullptr : candidate;
    }
    session.EndList();
    if (spare != nullptr) session.ReleaseDevice(spare);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    std::printf("%10s %14s %14s %18s\n", "devices", "first ms", "refresh ms", "refresh ns/device");
    double refresh_10k = 0, refresh_100k = 0, refresh_1m = 0;
    for (size_t n : {1000u, 10000u, 100000u, 1000000u}) {
        std::vector<std::string> ids(n);
        for (size_t i = 0; i < n; ++i)
            ids[i] = "VEH-" + std::to_string(100000 + i) + "@" + std::to_string(i % 31);
        CountingWindow window;
        AppSession session(&window, VELQ_MESSAGE);
        const double first = MergeMs(session, ids);  // every device new
        double best = 1e18;
        for (int round = 0; round < 5; ++round) best = std::min(best, MergeMs(session, ids));  // all known
        std::printf("%10zu %14.2f %14.2f %18.1f\n", n, first, best, best * 1e6 / static_cast<double>(n));
        if (n == 10000) refresh_10k = best;
        if (n == 100000) refresh_100k = best;
        if (n == 1000000) refresh_1m = best;
        session.Logout();
    }
    std::printf(
        "refresh ratios: 100k/10k %.2f, 1M/100k %.2f (linear is 10; from 100k on the devices no longer fit "
        "the "
        "caches)\n",
        refresh_100k / refresh_10k, refresh_1m / refresh_100k);
    return 0;
}
