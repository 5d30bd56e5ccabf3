// SPDX-License-Identifier: GPL-3.0-or-later
// The heap's keeper: a large block freed must not lift the threshold for the blocks after it, or they would
// be carved from the threads' heaps and stay held there after a burst of stream restarts.
#include <malloc.h>

#include <QTest>
#include <cstdlib>
#include <cstring>

#include "app/heap_keeper.h"

namespace {

// Kept where the compiler must assume it is read, so that no allocation below is elided.
void* volatile g_escape = nullptr;

void* Touched(size_t bytes) {
    void* block = std::malloc(bytes);
    std::memset(block, 1, bytes);
    g_escape = block;
    return block;
}

}  // namespace

class HeapKeeperTest : public QObject {
    Q_OBJECT

  private slots:
    void largeBlocksStayMappedAfterALargerOneWasFreed() {
        HeapKeeper keeper;
        if (!keeper.large_blocks_mapped()) QSKIP("the allocator in use (a sanitizer's) takes no threshold");
        // Left to itself the C library would now map only blocks over 4 MiB.
        std::free(Touched(4 * 1024 * 1024));
        for (const size_t bytes :
             {HeapKeeper::kMappedFrom_bytes, size_t(352 * 288 * 4), size_t(1024 * 1024)}) {
            const size_t mapped_before = mallinfo2().hblks;
            void* block = Touched(bytes);
            QCOMPARE(mallinfo2().hblks, mapped_before + 1);
            std::free(block);
            QCOMPARE(mallinfo2().hblks, mapped_before);
        }
    }
};

QTEST_MAIN(HeapKeeperTest)
#include "heap_keeper_test.moc"
