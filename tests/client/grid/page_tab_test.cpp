// SPDX-License-Identifier: GPL-3.0-or-later
// The grid widget: tab strip and buttons, cells laid out over the area, drops from the tree, the "New Page"
// tab, the active frame and the clicks of its windows.
#include <QMimeData>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QtTest>
#include <memory>

#include "grid/channel_commands.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"

namespace {

class Owner : public PageTabOwner {
  public:
    Owner() {
        for (int i = 0; i < 8; ++i) nodes.push_back(new QTreeWidgetItem(&device));
    }
    void PlayChannel(QTreeWidgetItem* node, CDevShowDlg* w) override { w->channelItem = node; }
    void StopChannel(CDevShowDlg* w) override { w->channelItem = nullptr; }
    void SelectDeviceNode(QTreeWidgetItem* node) override { selected = node; }
    void ShowChannelMenu(QTreeWidgetItem* node) override {
        ++menus;
        menuNode = node;
    }
    void RunChannelCommand(int command) override { commands.push_back(command); }
    bool AudioPlaying(AppDevice*) override { return false; }
    void AddLogLine(const QString& line) override { log << line; }
    QTreeWidgetItem* FindChannelNode(const QByteArray&, int) override { return nullptr; }
    QTreeWidgetItem* ChannelNode(int dev, int channel) override {
        return dev == 0 && channel >= 1 && channel <= static_cast<int>(nodes.size()) ? nodes[channel - 1]
                                                                                     : nullptr;
    }

    QTreeWidgetItem device;
    std::vector<QTreeWidgetItem*> nodes;
    QTreeWidgetItem* selected = nullptr;
    QTreeWidgetItem* menuNode = nullptr;
    int menus = 0;
    std::vector<int> commands;
    QStringList log;
};

bool Drop(PageTab& tab, const QPoint& at, const QByteArray& payload) {
    QMimeData mime;
    mime.setData(QString::fromLatin1(PageTab::kChannelMime), payload);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&tab, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&tab, &drop);
    return drop.isAccepted();
}

QPoint CentreOf(const GridRect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

class PageTabTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<Owner> owner;
    std::unique_ptr<PageTab> tab;
    PageTabLook look;

  private slots:
    void init() {
        owner = std::make_unique<Owner>();
        tab = std::make_unique<PageTab>(owner.get());
        look.active = QColor(255, 0, 0);
        look.mainBk = QColor(0, 0, 64);
        tab->resize(800, 500);
        tab->Init(2, 2, look);
        tab->show();
        QVERIFY(QTest::qWaitForWindowExposed(tab.get()));
    }
    void cleanup() {
        tab.reset();
        owner.reset();
    }

    void stripAndCells() {
        QCOMPARE(tab->Tabs()->count(), 1);
        QCOMPARE(tab->Tabs()->tabText(0), QStringLiteral("Page 1"));
        const GridRect area = tab->Model().GridArea();
        QVERIFY(area.top > 0);
        QCOMPARE(area.right, 800);
        QCOMPARE(area.bottom, 500);
        for (int i = 0; i < 4; ++i) {
            QAbstractButton* b = tab->Button(i);
            QCOMPARE(b->geometry(), QRect(800 - 29 * (i + 1), 0, 29, area.top - 2));
        }
        QCOMPARE(tab->Tabs()->geometry().right(), 800 - 4 * 29 - 1);
        for (CDevShowDlg* w : tab->Windows()) {
            const GridRect& r = w->dockedRect;
            QCOMPARE(w->geometry(), QRect(r.left, r.top, r.Width(), r.Height()));
            QVERIFY(w->isVisible());
        }
        // A resize lays the cells out again.
        tab->resize(600, 400);
        CDevShowDlg* last = tab->Windows()[3];
        QCOMPARE(last->geometry().right(), 599);
        QCOMPARE(last->geometry().bottom(), 399);
        // The active frame runs one pixel outside the active window.
        const QImage image = tab->grab().toImage();
        const GridRect r = tab->ActiveWindow()->dockedRect;
        QCOMPARE(QColor(image.pixel(r.left - 1, r.top - 1)), look.active);
        QCOMPARE(QColor(image.pixel(r.right, r.top + 5)), look.active);
    }

    void dropsFillTheGridAndOpenPages() {
        const auto windows = tab->Windows();
        QVERIFY(Drop(*tab, CentreOf(windows[2]->dockedRect), "0 3"));
        QCOMPARE(windows[0]->channelItem, owner->nodes[2]);
        QVERIFY(Drop(*tab, CentreOf(windows[3]->dockedRect), "0 4"));
        QVERIFY(Drop(*tab, CentreOf(windows[3]->dockedRect), "0 5"));
        // The same channel again, unknown channels and malformed payloads change nothing.
        QVERIFY(!Drop(*tab, CentreOf(windows[3]->dockedRect), "0 5"));
        for (const char* bad : {"0 99", "1 1", "x y", "0", "", "0 1 2", "99999999999999999999 1"}) {
            QVERIFY2(!Drop(*tab, CentreOf(windows[3]->dockedRect), bad), bad);
        }
        QCOMPARE(tab->Model().BoundCount(), 3);
        QVERIFY(Drop(*tab, CentreOf(windows[3]->dockedRect), "0 6"));
        QCOMPARE(tab->Tabs()->count(), 2);
        QCOMPARE(tab->Tabs()->tabText(1), QStringLiteral("New Page"));
        // Choosing "New Page" keeps the page shown.
        tab->Tabs()->setCurrentIndex(1);
        QCOMPARE(tab->Tabs()->currentIndex(), 0);
        QCOMPARE(tab->Model().CurrentPage(), 0);
        // A drop on it opens page 2 with the channel in its first cell, shown.
        QVERIFY(Drop(*tab, tab->NewPageTabRect().center(), "0 7"));
        QCOMPARE(tab->Model().Pages(), 2);
        QCOMPARE(tab->Tabs()->count(), 2);
        QCOMPARE(tab->Tabs()->currentIndex(), 1);
        CDevShowDlg* first = tab->Windows()[4];
        QCOMPARE(first->channelItem, owner->nodes[6]);
        QVERIFY(first->isVisible());
        QVERIFY(!windows[0]->isVisible());
        // Back to page 1 by its tab.
        tab->Tabs()->setCurrentIndex(0);
        QCOMPARE(tab->Model().CurrentPage(), 0);
        QVERIFY(windows[0]->isVisible());
        QVERIFY(!first->isVisible());
    }

    void clicksOfWindowsAndButtons() {
        const auto windows = tab->Windows();
        QVERIFY(Drop(*tab, CentreOf(windows[0]->dockedRect), "0 1"));
        QTest::mouseClick(windows[1], Qt::LeftButton);
        QCOMPARE(tab->ActiveWindow(), windows[1]);
        QTest::mousePress(windows[0], Qt::RightButton);
        QCOMPARE(tab->ActiveWindow(), windows[0]);
        QCOMPARE(owner->menus, 1);
        QCOMPARE(owner->menuNode, owner->nodes[0]);
        QCOMPARE(owner->selected, owner->nodes[0]);
        for (int i = 0; i < 4; ++i) static_cast<QToolButton*>(tab->Button(i))->click();
        QCOMPARE(owner->commands,
                 (std::vector<int>{kCommandMap, kCommandTalk, kCommandRecord, kCommandSnapshot}));
    }

    void floatingWindowOfAHiddenPageDocksHidden() {
        for (int i = 1; i <= 5; ++i) {
            const bool full = tab->Model().HasNewPageTab();
            const QPoint at = full ? tab->NewPageTabRect().center() : CentreOf(tab->Windows()[0]->dockedRect);
            QVERIFY(Drop(*tab, at, "0 " + QByteArray::number(i)));
        }
        CDevShowDlg* w = tab->Windows()[4];
        QCOMPARE(tab->Model().CurrentPage(), 1);
        w->Undock();
        QVERIFY(w->floating);
        tab->Tabs()->setCurrentIndex(0);
        // Leaving its page docked it back into the grid, hidden with its page.
        QVERIFY(!w->floating);
        QCOMPARE(w->parentWidget(), tab.get());
        QVERIFY(!w->isVisible());
        tab->Tabs()->setCurrentIndex(1);
        w->Undock();
        w->Dock();
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(PageTabTest)
#include "page_tab_test.moc"
