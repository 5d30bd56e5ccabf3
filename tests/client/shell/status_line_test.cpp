// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: a text too long for the room right of the logo is elided there, never drawn over it.
#include <QPainter>
#include <QTest>

#include "shell/status_line.h"

class StatusLineTest : public QObject {
    Q_OBJECT
  private slots:
    void longTextStopsBeforeTheLogo() {
        StatusLine line;
        line.resize(656, 37);
        QFont font("DejaVu Sans");
        font.setPixelSize(18);
        line.setFont(font);
        line.SetTextColor(Qt::white);
        QPixmap banner(10, 37);
        banner.fill(QColor(16, 16, 64));
        QPixmap logo(200, 37);
        logo.fill(QColor(0, 96, 0));
        line.SetImages(banner, logo);
        const QRect logo_rect((656 - 472) / 2, 0, 200, 37);
        QVERIFY(!line.TextRect().intersects(logo_rect));

        const QImage bare = line.grab().toImage();
        line.SetText(
            "http://127.0.0.1:8080/playback.aspx?DevIDNO=MDVR-10001&Begin=2026-12-09%2000:00:00&End=x");
        const QImage shown = line.grab().toImage();
        QVERIFY(line.shownText().endsWith(QChar(0x2026)));
        QVERIFY(QFontMetrics(font).horizontalAdvance(line.shownText()) <= line.TextRect().width());
        QCOMPARE(shown.copy(logo_rect), bare.copy(logo_rect));
        QVERIFY(shown != bare);  // the text is there, right of the logo

        // A short text is shown whole.
        line.SetText("Connected  ");
        QCOMPARE(line.shownText(), QString("Connected  "));
    }

    // A widget over the left end: banner, logo and text move into the rest; the covered end shows
    // neither banner nor logo.
    void aCoveredEndIsLeftToTheWidgetOverIt() {
        StatusLine line;
        line.resize(500, 37);
        QPixmap banner(10, 37);
        banner.fill(QColor(16, 16, 64));
        QPixmap logo(100, 37);
        logo.fill(QColor(0, 96, 0));
        line.SetImages(banner, logo);
        line.SetText("Over Speed");
        line.SetCovered(122, 0);
        QCOMPARE(line.DrawnRect(), QRect(122, 0, 378, 37));
        const QImage shown = line.grab().toImage();
        // The logo is centred on 472 pixels of what is left: (378 - 472) / 2 < 0, so it starts at 122.
        QCOMPARE(QColor(shown.pixel(122, 18)), QColor(16, 112, 64));  // OR of logo and banner
        QCOMPARE(QColor(shown.pixel(121, 18)), line.palette().window().color());
        QCOMPARE(QColor(shown.pixel(60, 18)), line.palette().window().color());
        QVERIFY(line.TextRect().left() >= 122 + 100);
        QCOMPARE(line.TextRect().right(), 499);
        // Covered at the right end instead (right to left), and no longer covered.
        line.SetCovered(0, 122);
        QCOMPARE(line.TextRect().right(), 499 - 122);
        QCOMPARE(QColor(line.grab().toImage().pixel(0, 18)), QColor(16, 112, 64));
        line.SetCovered(0, 0);
        QCOMPARE(line.DrawnRect(), line.rect());
    }
};

QTEST_MAIN(StatusLineTest)
#include "status_line_test.moc"
