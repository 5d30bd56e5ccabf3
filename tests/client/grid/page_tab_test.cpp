// SPDX-License-Identifier: GPL-3.0-or-later
// The grid widget: tab strip and buttons, cells laid out over the area, drops from the tree, the "New Page"
// tab, the active frame and the clicks of its windows.
#include <QClipboard>
#include <QMimeData>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <QtTest>
#include <memory>

#include "app/settings_store.h"
#include "grid/channel_commands.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_tab.h"

namespace {

class Owner : public PageTabOwner {
  public:
    Owner() {
        for (int i = 0; i < 8; ++i) nodes.push_back(new QTreeWidgetItem(&device));
    }
    void PlayChannel(QTreeWidgetItem* node, CDevShowDlg* w) override { w->channel_item = node; }
    void StopChannel(CDevShowDlg* w) override { w->channel_item = nullptr; }
    void SelectDeviceNode(QTreeWidgetItem* node) override { selected = node; }
    void ShowChannelMenu(QTreeWidgetItem* node) override {
        ++menus;
        menuNode = node;
    }
    void RunChannelCommand(int command) override { commands.push_back(command); }
    bool AudioPlaying(AppDevice*) override { return false; }
    bool Talking(AppDevice* device) override { return talking && (!device || device == talkingDevice); }
    QTreeWidgetItem* SelectedNode() override { return selected; }
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
    bool talking = false;
    AppDevice* talkingDevice = nullptr;
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
    AppSettings settings;
    SettingsStore store{nullptr};  // no settings file: the built-in look and grid size
    std::unique_ptr<PageTab> tab;
    PageTabLook look;

  private slots:
    void init() {
        owner = std::make_unique<Owner>();
        tab = std::make_unique<PageTab>(owner.get(), settings, store);
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
            const GridRect& r = w->docked_rect;
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
        const GridRect r = tab->ActiveWindow()->docked_rect;
        QCOMPARE(QColor(image.pixel(r.left - 1, r.top - 1)), look.active);
        QCOMPARE(QColor(image.pixel(r.right, r.top + 5)), look.active);
    }

    void dropsFillTheGridAndOpenPages() {
        const auto windows = tab->Windows();
        QVERIFY(Drop(*tab, CentreOf(windows[2]->docked_rect), "0 3"));
        QCOMPARE(windows[0]->channel_item, owner->nodes[2]);
        QVERIFY(Drop(*tab, CentreOf(windows[3]->docked_rect), "0 4"));
        QVERIFY(Drop(*tab, CentreOf(windows[3]->docked_rect), "0 5"));
        // The same channel again, unknown channels and malformed payloads change nothing.
        QVERIFY(!Drop(*tab, CentreOf(windows[3]->docked_rect), "0 5"));
        for (const char* bad : {"0 99", "1 1", "x y", "0", "", "0 1 2", "99999999999999999999 1"}) {
            QVERIFY2(!Drop(*tab, CentreOf(windows[3]->docked_rect), bad), bad);
        }
        QCOMPARE(tab->Model().BoundCount(), 3);
        QVERIFY(Drop(*tab, CentreOf(windows[3]->docked_rect), "0 6"));
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
        QCOMPARE(first->channel_item, owner->nodes[6]);
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
        QVERIFY(Drop(*tab, CentreOf(windows[0]->docked_rect), "0 1"));
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

    // The grid's keys act on the active tile whichever widget holds the focus, so the focus frame is
    // drawn on the active tile while the focus is anywhere in the grid, moves with the arrow keys, and goes
    // when the focus leaves.
    void focusFrameMarksTheActiveTileWhileTheGridHasFocus() {
        const auto windows = tab->Windows();
        const auto framed = [&windows] {
            QList<int> shown;
            for (size_t i = 0; i < windows.size(); ++i)
                if (windows[i]->FocusFrameShown()) shown << int(i);
            return shown;
        };
        const auto edge = [](CDevShowDlg* w, int inset) {
            return w->grab().toImage().pixelColor(inset, w->height() / 2);
        };
        tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tab.get()));
        QCOMPARE(tab->ActiveWindow(), windows[0]);
        // Activation may have focused one of the grid's buttons.
        if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
        const QColor highlight = windows[0]->palette().color(QPalette::Highlight);
        QVERIFY(edge(windows[0], 0) != highlight);
        QCOMPARE(framed(), QList<int>());

        tab->setFocus();
        QCOMPARE(framed(), QList<int>{0});
        QCOMPARE(edge(windows[0], 0), highlight);
        QCOMPARE(edge(windows[0], 1), highlight);
        QCOMPARE(edge(windows[0], 2), QColor(Qt::black));
        QTest::keyClick(tab.get(), Qt::Key_Right);
        QCOMPARE(framed(), QList<int>{1});
        QVERIFY(edge(windows[0], 0) != highlight);
        QCOMPARE(edge(windows[1], 0), highlight);

        // A click gives the tile the focus and makes it active; keys reaching the grid from it move the
        // frame away from the tile that still holds the focus.
        QTest::mouseClick(windows[2], Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), windows[2]);
        QCOMPARE(framed(), QList<int>{2});
        QTest::keyClick(windows[2], Qt::Key_Right);
        QCOMPARE(framed(), QList<int>{3});

        windows[2]->clearFocus();
        QCOMPARE(framed(), QList<int>());
    }

    // Tiles by hand: a tile dragged onto another swaps with it (onto an empty one: to the end), keys move
    // the frame and pick cells, Enter plays the tree's selection into the active tile, Delete and the
    // hover close button close channels, Ctrl+C copies the picture, talk shows on tile and button.
    void tileHandling() {
        GridModel& model = tab->Model();
        for (int i = 1; i <= 3; ++i)
            QVERIFY(Drop(*tab, CentreOf(model.Windows()[3]->docked_rect), "0 " + QByteArray::number(i)));
        const auto node = [&](int index) { return model.Windows()[index]->channel_item; };
        const auto tileDrop = [&](int from, int toCell) {
            QMimeData* mime = PageTab::TileMime(from);
            const QPoint at = CentreOf(model.Windows()[toCell]->docked_rect);
            QDragEnterEvent enter(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(tab.get(), &enter);
            QDropEvent drop(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(tab.get(), &drop);
            delete mime;
            return drop.isAccepted();
        };
        QVERIFY(tileDrop(0, 2));
        QCOMPARE(node(0), owner->nodes[2]);
        QCOMPARE(node(2), owner->nodes[0]);
        QCOMPARE(tab->ActiveWindow(), model.Windows()[2]);
        QCOMPARE(tab->ActiveWindow()->geometry().topLeft(),
                 QPoint(model.Windows()[2]->docked_rect.left, model.Windows()[2]->docked_rect.top));
        QVERIFY(tileDrop(0, 3));  // onto the empty cell: to the end of the channels, the grid stays packed
        QCOMPARE(node(0), owner->nodes[1]);
        QCOMPARE(node(2), owner->nodes[2]);
        QVERIFY(!node(3));
        QVERIFY(!tileDrop(3, 0));  // an empty tile is not dragged
        QVERIFY(!tileDrop(7, 0));

        // Arrows stop at the page's edges, also when the tile has the focus; digits pick cells.
        QTest::keyClick(tab.get(), Qt::Key_1);
        QCOMPARE(tab->ActiveWindow(), model.Windows()[0]);
        QTest::keyClick(tab.get(), Qt::Key_Right);
        QTest::keyClick(tab->Windows()[1], Qt::Key_Down);
        QCOMPARE(tab->ActiveWindow(), model.Windows()[3]);
        QTest::keyClick(tab.get(), Qt::Key_Down);
        QCOMPARE(tab->ActiveWindow(), model.Windows()[3]);
        QTest::keyClick(tab.get(), Qt::Key_9);
        QCOMPARE(tab->ActiveWindow(), model.Windows()[3]);
        // Enter on the empty active tile adds the selection; on a channel already shown it only selects it.
        owner->selected = owner->nodes[5];
        QTest::keyClick(tab.get(), Qt::Key_Return);
        QCOMPARE(node(3), owner->nodes[5]);
        QTest::keyClick(tab.get(), Qt::Key_1);
        owner->selected = owner->nodes[5];
        QTest::keyClick(tab.get(), Qt::Key_Enter);
        QCOMPARE(model.BoundCount(), 4);
        QCOMPARE(tab->ActiveWindow(), model.Windows()[3]);
        // Delete closes the active tile's channel; the ones after it move up.
        QTest::keyClick(tab.get(), Qt::Key_2);
        QTest::keyClick(tab.get(), Qt::Key_Delete);
        QCOMPARE(model.BoundCount(), 3);
        QCOMPARE(node(1), owner->nodes[2]);

        // The close button shows on a hovered tile and closes its channel.
        CDevShowDlg* first = tab->Windows()[0];
        const QPoint button = TileOverlay::CloseButtonRect(first->size()).center();
        const auto brightness = [&] { return qGray(first->grab().toImage().pixel(button)); };
        QCOMPARE(brightness(), 0);
        QEnterEvent enter(button, first->mapTo(tab.get(), button), first->mapToGlobal(button));
        QCoreApplication::sendEvent(first, &enter);
        QVERIFY(brightness() > 150);
        QTest::mouseClick(first, Qt::LeftButton, Qt::NoModifier, button);
        QCOMPARE(model.BoundCount(), 2);
        QVERIFY(!first->channel_item);

        // Ctrl+C: the active tile's picture, exactly, on the clipboard.
        QImage picture(48, 36, QImage::Format_RGB32);
        for (int y = 0; y < 36; ++y)
            for (int x = 0; x < 48; ++x) picture.setPixel(x, y, qRgb(x * 5, y * 7, 99));
        VelqPicture frame{};
        frame.width = 48;
        frame.height = 36;
        frame.format = VELQ_PIX_BGRA32;
        frame.plane[0] = picture.constBits();
        frame.stride[0] = int(picture.bytesPerLine());
        QTest::keyClick(tab.get(), Qt::Key_1);
        QCOMPARE(tab->ActiveWindow()->PresentPicture(frame), VELQ_PRESENT_OK);
        QTest::keyClick(tab.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), picture);

        // Talk open to the device of the first tile: its microphone mark, and the Talk button on.
        int device = 0;
        AppDevice* fake = reinterpret_cast<AppDevice*>(&device);
        model.Windows()[0]->device = fake;
        owner->talking = true;
        owner->talkingDevice = fake;
        tab->UpdateMarks();
        QVERIFY(tab->Button(1)->isChecked());
        QVERIFY(tab->Windows()[0]->Marks().talk);
        QVERIFY(!tab->Windows()[1]->Marks().talk);
        owner->talking = false;
        tab->UpdateMarks();
        QVERIFY(!tab->Button(1)->isChecked());
        QVERIFY(!tab->Windows()[0]->Marks().talk);
        model.Windows()[0]->device = nullptr;
    }

    void floatingWindowOfAHiddenPageDocksHidden() {
        for (int i = 1; i <= 5; ++i) {
            const bool full = tab->Model().HasNewPageTab();
            const QPoint at =
                full ? tab->NewPageTabRect().center() : CentreOf(tab->Windows()[0]->docked_rect);
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
