// SPDX-License-Identifier: GPL-3.0-or-later
// The picture slot fits each picture to its tile on the producer's thread: what it fits must be what the
// grid's unsmoothed paint drew from the whole picture, into buffers it keeps from picture to picture.
#include <QPainter>
#include <QtTest>
#include <set>
#include <vector>

#include "grid/picture_slot.h"
#include "grid/tile_view.h"

namespace {

// A BGRA picture whose every pixel differs from its neighbours, with a row stride wider than the row.
struct Pattern {
    Pattern(int w, int h, int seed) : bytes(static_cast<size_t>(h) * (w * 4 + 12)) {
        picture.width = w;
        picture.height = h;
        picture.format = VELQ_PIX_BGRA32;
        picture.stride[0] = w * 4 + 12;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = bytes.data() + y * picture.stride[0] + x * 4;
                p[0] = uint8_t(x * 7 + seed);
                p[1] = uint8_t(y * 5);
                p[2] = uint8_t(x ^ y);
                p[3] = 0xff;
            }
        }
        picture.plane[0] = bytes.data();
    }
    std::vector<uint8_t> bytes;
    VelqPicture picture{};
};

// What the tile's paint drew before fitting: the whole picture scaled into the target, no smoothing.
QImage PaintedScaled(const QImage& full, const QSize& size) {
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.drawImage(QRect(QPoint(0, 0), size), full);
    return out;
}

}  // namespace

class PictureSlotTest : public QObject {
    Q_OBJECT

  private slots:
    void fittedPicturesMatchTheScaledPaintInBuffersKeptAcrossPictures() {
        for (const QSize tile : {QSize(235, 133), QSize(160, 90), QSize(900, 700)}) {
            PictureSlot slot;
            slot.SetFit(tile, true);
            std::set<const uchar*> buffers;
            for (int i = 0; i < 30; ++i) {
                const Pattern pattern(352, 288, i);
                bool taken = false;
                QCOMPARE(slot.Put(pattern.picture, &taken), VELQ_PRESENT_OK);
                QVERIFY(taken);
                const PictureSlot::Frame& frame = slot.TakeForPaint();
                QCOMPARE(frame.full.size(), QSize(352, 288));
                QVERIFY(frame.fitted_valid);
                const QSize target = TileView::PictureRect(tile, QSize(352, 288), true).size();
                QCOMPARE(frame.fitted.size(), target);
                if (i % 10 == 0) QCOMPARE(frame.fitted, PaintedScaled(frame.full, target));
                buffers.insert(frame.fitted.constBits());
                buffers.insert(frame.full.constBits());
            }
            // Three frames travel (producer, newest, shown): their buffers are all there ever are.
            QVERIFY2(buffers.size() <= 6, qPrintable(QString::number(buffers.size())));
        }
    }

    void stretchedZoomedAndOwnSizeTiles() {
        PictureSlot slot;
        bool taken = false;
        const Pattern pattern(352, 288, 1);
        slot.SetFit(QSize(200, 50), false);  // stretched: the tile's whole size
        slot.Put(pattern.picture, &taken);
        QCOMPARE(slot.TakeForPaint().fitted.size(), QSize(200, 50));
        slot.SetFit(QSize(), true);  // zoomed: nothing fitted, the whole picture is drawn
        slot.Put(pattern.picture, &taken);
        QVERIFY(!slot.TakeForPaint().fitted_valid);
        slot.SetFit(QSize(352, 288), true);  // its own size: the whole picture is blitted
        slot.Put(pattern.picture, &taken);
        QVERIFY(!slot.TakeForPaint().fitted_valid);
        QCOMPARE(slot.Current().size(), QSize(352, 288));
    }
};

QTEST_MAIN(PictureSlotTest)
#include "picture_slot_test.moc"
