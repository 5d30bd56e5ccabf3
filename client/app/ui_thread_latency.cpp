// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui_thread_latency.h"

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace {

// The kernel's struct sched_attr (linux/sched/types.h), spelled out: the C library has no wrapper, and
// the kernel header clashes with the C library's own scheduling declarations.
struct SchedAttr {
    uint32_t size;
    uint32_t sched_policy;
    uint64_t sched_flags;
    int32_t sched_nice;
    uint32_t sched_priority;
    uint64_t sched_runtime;  // for the fair policy: the requested slice in ns
    uint64_t sched_deadline;
    uint64_t sched_period;
};
constexpr uint32_t kSchedNormal = 0;

bool CurrentAttr(SchedAttr* attr) {
    std::memset(attr, 0, sizeof *attr);
    return syscall(SYS_sched_getattr, 0, attr, sizeof *attr, 0) == 0;
}

}  // namespace

namespace ui_thread_latency {

bool RequestSlice(int64_t slice_ns) {
    SchedAttr attr;
    // Another policy (a real-time thread, an idle one) is left alone: the slice belongs to the fair one.
    if (slice_ns < 0 || !CurrentAttr(&attr) || attr.sched_policy != kSchedNormal) return false;
    // The nice value is kept: only the slice is asked for.
    const int32_t nice = attr.sched_nice;
    std::memset(&attr, 0, sizeof attr);
    attr.size = sizeof attr;
    attr.sched_policy = kSchedNormal;
    attr.sched_nice = nice;
    attr.sched_runtime = static_cast<uint64_t>(slice_ns);
    return syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
}

int64_t Slice_ns() {
    SchedAttr attr;
    if (!CurrentAttr(&attr) || attr.sched_policy != kSchedNormal) return 0;
    return static_cast<int64_t>(attr.sched_runtime);
}

}  // namespace ui_thread_latency

#else

namespace ui_thread_latency {

bool RequestSlice(int64_t) {
    return false;
}

int64_t Slice_ns() {
    return 0;
}

}  // namespace ui_thread_latency

#endif
