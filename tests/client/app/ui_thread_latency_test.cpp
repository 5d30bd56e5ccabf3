// SPDX-License-Identifier: GPL-3.0-or-later
// The UI thread's scheduling slice: asked for by the calling thread only, its nice value kept, and given
// back to the kernel's default with 0.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QTest>
#include <thread>

#include "app/ui_thread_latency.h"

class UiThreadLatencyTest : public QObject {
    Q_OBJECT

  private slots:
    void theSliceIsTheCallingThreadsAlone() {
#ifndef __linux__
        QSKIP("the slice is asked for on Linux only");
#endif
        const int64_t default_ns = ui_thread_latency::Slice_ns();
        QVERIFY(default_ns > 0);
        int64_t other_slice_ns = -1;
        int other_nice = 0;
        bool asked = false;
        std::thread other([&] {
            // A thread made nicer before must stay as nice: only the slice changes.
            const auto tid = static_cast<id_t>(syscall(SYS_gettid));
            setpriority(PRIO_PROCESS, tid, 5);
            asked = ui_thread_latency::RequestSlice(500'000);
            other_slice_ns = ui_thread_latency::Slice_ns();
            other_nice = getpriority(PRIO_PROCESS, tid);
        });
        other.join();
        QVERIFY(asked);
        QCOMPARE(other_slice_ns, int64_t{500'000});
        QCOMPARE(other_nice, 5);
        // This thread was not touched by the other's request.
        QCOMPARE(ui_thread_latency::Slice_ns(), default_ns);

        QVERIFY(ui_thread_latency::RequestSlice(ui_thread_latency::kUiSlice_ns));
        QCOMPARE(ui_thread_latency::Slice_ns(), ui_thread_latency::kUiSlice_ns);
        QVERIFY(ui_thread_latency::RequestSlice(0));
        QCOMPARE(ui_thread_latency::Slice_ns(), default_ns);
        QVERIFY(!ui_thread_latency::RequestSlice(-1));
    }
};

QTEST_GUILESS_MAIN(UiThreadLatencyTest)
#include "ui_thread_latency_test.moc"
