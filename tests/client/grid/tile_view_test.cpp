// SPDX-License-Identifier: GPL-3.0-or-later
// Where a tile draws its picture: letterbox geometry, and the digital zoom's mapping of the cursor to the
// picture (the point under the cursor stays under it, the shown part never leaves the picture).
#include <QtTest>

#include "grid/tile_view.h"

class TileViewTest : public QObject {
    Q_OBJECT

  private slots:
    void letterboxAndStretch() {
        // 4:3 in a wide tile: bars left and right; in a tall one: above and below; the same aspect fills.
        QCOMPARE(TileView::PictureRect({400, 150}, {352, 288}, true), QRect(108, 0, 183, 150));
        QCOMPARE(TileView::PictureRect({320, 480}, {640, 480}, true), QRect(0, 120, 320, 240));
        QCOMPARE(TileView::PictureRect({200, 150}, {64, 48}, true), QRect(0, 0, 200, 150));
        QCOMPARE(TileView::PictureRect({400, 150}, {352, 288}, false), QRect(0, 0, 400, 150));
        QCOMPARE(TileView::PictureRect({400, 150}, {0, 0}, true), QRect(0, 0, 400, 150));
    }

    void zoomKeepsThePointUnderTheCursor() {
        TileView view;
        const QSize tile(400, 300), picture(640, 480);
        const QPointF cursor(100, 75);
        const QPointF before = view.MapToPicture(cursor, tile, picture);
        QCOMPARE(before, QPointF(160, 120));
        view.ZoomAt(cursor, 2.0, tile, picture);
        QCOMPARE(view.Zoom(), 2.0);
        const QPointF after = view.MapToPicture(cursor, tile, picture);
        QVERIFY(qAbs(after.x() - before.x()) < 1e-6 && qAbs(after.y() - before.y()) < 1e-6);
        QCOMPARE(view.SourceRect(picture).size(), QSizeF(320, 240));
        // Zoomed at its corner, the picture keeps its corner there.
        view.Reset();
        view.ZoomAt(QPointF(0, 0), 4.0, tile, picture);
        QCOMPARE(view.SourceRect(picture).topLeft(), QPointF(0, 0));
        // Never beyond 8x, never below 1x.
        for (int i = 0; i < 20; ++i) view.ZoomAt(QPointF(200, 150), 1.25, tile, picture);
        QCOMPARE(view.Zoom(), TileView::kMaxZoom);
        for (int i = 0; i < 40; ++i) view.ZoomAt(QPointF(200, 150), 0.8, tile, picture);
        QCOMPARE(view.Zoom(), 1.0);
        QCOMPARE(view.SourceRect(picture), QRectF(0, 0, 640, 480));
        // Letterboxed: the bars map outside the picture, the picture's corner to its corner.
        TileView boxed;
        const QSize wide(800, 300);
        QCOMPARE(boxed.MapToPicture(QPointF(200, 0), wide, picture), QPointF(0, 0));
        boxed.ZoomAt(QPointF(400, 150), 2.0, wide, picture);
        QCOMPARE(boxed.MapToPicture(QPointF(400, 150), wide, picture), QPointF(320, 240));
    }

    void panFollowsTheDragAndStaysInside() {
        TileView view;
        const QSize tile(400, 300), picture(640, 480);
        view.PanBy(QPointF(50, 50), tile, picture);  // not zoomed: nothing moves
        QCOMPARE(view.SourceRect(picture), QRectF(0, 0, 640, 480));
        view.ZoomAt(QPointF(200, 150), 2.0, tile, picture);
        const QPointF grabbed = view.MapToPicture(QPointF(200, 150), tile, picture);
        view.PanBy(QPointF(-40, 30), tile, picture);
        // The picture point grabbed moved with the cursor.
        const QPointF now = view.MapToPicture(QPointF(160, 180), tile, picture);
        QVERIFY(qAbs(now.x() - grabbed.x()) < 1e-6 && qAbs(now.y() - grabbed.y()) < 1e-6);
        view.PanBy(QPointF(-5000, -5000), tile, picture);
        QCOMPARE(view.SourceRect(picture).bottomRight(), QPointF(640, 480));
        view.Reset();
        QVERIFY(!view.Zoomed());
    }
};

QTEST_MAIN(TileViewTest)
#include "tile_view_test.moc"
