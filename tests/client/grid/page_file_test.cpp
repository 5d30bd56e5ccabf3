// SPDX-License-Identifier: GPL-3.0-or-later
// Page files: written and read back, the key names of older files, and hostile files kept bounded.
#include <QtTest>

#include "../client_fixture.h"
#include "grid/page_file.h"

class PageFileTest : public QObject {
    Q_OBJECT
    ScratchHome home_;
    std::unique_ptr<CAppClient> client_;

  private slots:
    void initTestCase() { client_ = home_.StartClient(); }

    void roundTripKeepsOtherContent() {
        home_.WriteFile("page.ini", "; operator's notes\n[Wall]\nScreen=2\n");
        PageFileContent out;
        out.pageName = "Page";
        out.rows = 3;
        out.cols = 2;
        out.liveCount = 3;
        out.entries = {{1, "MDVR-10001", "AB-3127", 2}, {3, "MDVR-10004", "RP-7731", 4}};
        QVERIFY(WritePageFile(home_.path() + "page.ini", out));
        const QByteArray text = home_.ReadFile("page.ini");
        QVERIFY(text.startsWith("; operator's notes\n[Wall]\nScreen=2\n"));
        // Earlier versions wrote the column count with a lower-case c; so does this one.
        QVERIFY(text.contains("Page_col=2"));
        QVERIFY(text.contains("[LiveConfig 3]"));
        QString problem;
        const auto in = ReadPageFile(home_.path() + "page.ini", &problem);
        QVERIFY(in);
        QVERIFY(problem.isEmpty());
        QCOMPARE(in->rows, 3);
        QCOMPARE(in->cols, 2);
        // Entry 2 has no section: skipped.
        QCOMPARE(in->entries.size(), size_t(2));
        QCOMPARE(in->entries[0].deviceId, QByteArray("MDVR-10001"));
        QCOMPARE(in->entries[0].channel, 2);
        QCOMPARE(in->entries[1].deviceId, QByteArray("MDVR-10004"));
        QCOMPARE(in->entries[1].channel, 4);
    }

    void keysInAnyCaseAndEntriesWithoutDeviceOrChannelSkipped() {
        home_.WriteFile("mixed.ini",
                        "[pageconfig]\nPAGE_ROW=1\npage_col=4\nPage_LiveCount=4\n"
                        "[LiveConfig 1]\nDeviceId=\nChannel=1\n"
                        "[LiveConfig 2]\nDeviceId=D1\nChannel=0\n"
                        "[liveconfig 3]\ndeviceid=D2\nCHANNEL=3\n"
                        "[LiveConfig 4]\nDeviceId=" +
                            QByteArray(200, 'x') + "\nChannel=1\n");
        QString problem;
        const auto in = ReadPageFile(home_.path() + "mixed.ini", &problem);
        QVERIFY(in);
        QCOMPARE(in->rows, 1);
        QCOMPARE(in->cols, 4);
        QCOMPARE(in->entries.size(), size_t(2));
        QCOMPARE(in->entries[0].deviceId, QByteArray("D2"));
        QCOMPARE(in->entries[1].deviceId.size(), 63);  // cut as the field is
    }

    void filesWithoutAUsableGridLeaveItAlone() {
        const QByteArray bad[] = {
            "",
            "[PageConfig]\nPage_Row=2\n",
            "[PageConfig]\nPage_Row=0\nPage_Col=2\n",
            "[PageConfig]\nPage_Row=9\nPage_Col=2\n",
            "[PageConfig]\nPage_Row=2\nPage_Col=-1\n",
            "[PageConfig]\nPage_Row=99999999999\nPage_Col=99999999999\n",
        };
        for (const QByteArray& text : bad) {
            home_.WriteFile("bad.ini", text);
            QString problem;
            QVERIFY2(!ReadPageFile(home_.path() + "bad.ini", &problem), text.constData());
            QVERIFY(problem.contains("bad.ini"));
        }
        QString problem;
        QVERIFY(!ReadPageFile(home_.path() + "missing.ini", &problem));
    }

    void hugeLiveCountIsBounded() {
        QByteArray text = "[PageConfig]\nPage_Row=8\nPage_Col=8\nPage_LiveCount=2147483647\n";
        for (int e = 1; e <= 3000; ++e)
            text += "[LiveConfig " + QByteArray::number(e) + "]\nDeviceId=D" + QByteArray::number(e) +
                    "\nChannel=1\n";
        home_.WriteFile("huge.ini", text);
        QString problem;
        const auto in = ReadPageFile(home_.path() + "huge.ini", &problem);
        QVERIFY(in);
        QCOMPARE(in->entries.size(), size_t(kMaxPageFileEntries));
        QVERIFY(!problem.isEmpty());
    }
};

QTEST_MAIN(PageFileTest)
#include "page_file_test.moc"
