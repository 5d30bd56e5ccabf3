// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps the process's resident size from creeping over a shift. The C library raises its threshold for
// mapping a large block each time such a block is freed; from then on the decoders' and the pictures'
// large blocks are carved from the heaps of the threads that asked for them, and every burst of stream
// restarts (a page cycle, a dropped link, a new login) leaves more of those heaps spread and held: a soak
// grew by about 3 MiB a minute while the bytes in use stayed flat. The keeper fixes the threshold, so that
// large blocks are always mapped and go back to the system when freed, and now and then hands back the free
// pages the heaps still hold. UI thread only; one per process (the application object owns it).
#include <QObject>
#include <QTimer>
#include <cstddef>

class HeapKeeper : public QObject {
    Q_OBJECT
  public:
    static constexpr size_t kMappedFrom_bytes = 128 * 1024;  // the C library's own starting threshold
    static constexpr int kTrimPeriod_ms = 60000;

    explicit HeapKeeper(QObject* parent = nullptr);

    // False when the allocator in use does not take the setting (a sanitizer's): the keeper then only
    // trims, which such an allocator ignores too.
    bool large_blocks_mapped() const { return large_blocks_mapped_; }

  private:
    QTimer trim_timer_;
    bool large_blocks_mapped_ = false;
};
