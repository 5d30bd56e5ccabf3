// SPDX-License-Identifier: GPL-3.0-or-later
// The grid's bookkeeping driven without widgets: every step is followed by a check of the grid's invariants.
#include <QTreeWidgetItem>
#include <QtTest>
#include <map>
#include <memory>
#include <set>

#include "grid/grid_model.h"

namespace {

struct FakeWindow : GridSlot {
    bool visible = false;
};

// Records what the bookkeeping asks of windows, tabs, tree and library.
class Host : public GridHost, public GridSources {
  public:
    GridSlot* CreateSlot() override {
        windows.push_back(std::make_unique<FakeWindow>());
        return windows.back().get();
    }
    void ShowSlot(GridSlot* w) override { Fake(w)->visible = true; }
    void HideSlot(GridSlot* w) override {
        w->floating = false;
        Fake(w)->visible = false;
    }
    void PlayChannel(QTreeWidgetItem* node, GridSlot* w) override {
        w->channel_item = node;
        // A distinct non-null handle per node stands for the library channel.
        w->channel = reinterpret_cast<AppChannel*>(node);
    }
    void StopChannel(GridSlot* w) override {
        w->channel_item = nullptr;
        w->channel = nullptr;
    }
    void InsertTab(int index) override {
        QVERIFY(index >= 0 && index <= tabs);
        ++tabs;
    }
    void RemoveTab(int index) override {
        QVERIFY(index >= 0 && index < tabs);
        --tabs;
    }
    void SelectTab(int index) override { selectedTab = index; }
    void ActiveFrameChanged() override {}
    void SelectDeviceNode(QTreeWidgetItem* node) override { selectedNode = node; }

    void SourceStart(AppChannel* c) override { ++starts[c]; }
    void SourceStop(AppChannel* c) override { ++stops[c]; }
    bool IsRecording(AppChannel* c) override { return recording.count(c) != 0; }
    void OnTimer(AppChannel* c) override { ++ticks[c]; }

    static FakeWindow* Fake(GridSlot* w) { return static_cast<FakeWindow*>(w); }

    std::vector<std::unique_ptr<FakeWindow>> windows;
    int tabs = 0;
    int selectedTab = -1;
    QTreeWidgetItem* selectedNode = nullptr;
    std::map<AppChannel*, int> starts, stops, ticks;
    std::set<AppChannel*> recording;
};

AppChannel* ChannelOf(QTreeWidgetItem* node) {
    return reinterpret_cast<AppChannel*>(node);
}

}  // namespace

class GridModelTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<Host> host;
    std::unique_ptr<GridModel> grid;
    std::unique_ptr<QTreeWidgetItem> device;
    std::vector<QTreeWidgetItem*> nodes;  // channel nodes, children of device

    // Every invariant of the grid, and the windows' whereabouts: each created window is in exactly one of
    // the grid or the pool, only the current page's windows are visible, tabs match pages.
    void Check() {
        const auto& w = grid->Windows();
        const int pages = grid->Pages();
        QCOMPARE(static_cast<int>(w.size()), grid->Cells() * pages);
        QVERIFY(pages >= 1);
        // Bound windows first, packed: every cell before the last bound one is bound.
        for (int i = 0; i < static_cast<int>(w.size()); ++i)
            QCOMPARE(bool(w[i]->channel_item), i < grid->BoundCount());
        const bool full = grid->BoundCount() == static_cast<int>(w.size());
        QCOMPARE(grid->TabCount(), pages + (full ? 1 : 0));
        QCOMPARE(host->tabs, grid->TabCount());
        QCOMPARE(grid->HasNewPageTab(), full);
        QVERIFY(grid->CurrentPage() >= 0 && grid->CurrentPage() < pages);
        QVERIFY(std::find(w.begin(), w.end(), grid->ActiveWindow()) != w.end());
        std::set<GridSlot*> seen;
        for (GridSlot* s : w) QVERIFY(seen.insert(s).second);
        for (GridSlot* s : grid->FreePool()) {
            QVERIFY(seen.insert(s).second);
            QVERIFY(!Host::Fake(s)->visible);
            QVERIFY(!s->channel_item);
        }
        QCOMPARE(seen.size(), host->windows.size());
        for (int i = 0; i < static_cast<int>(w.size()); ++i) {
            if (grid->PageOf(w[i]) != grid->CurrentPage())
                QVERIFY2(!Host::Fake(w[i])->visible, "hidden page shown");
        }
        std::set<QTreeWidgetItem*> shown;
        for (GridSlot* s : w) {
            if (s->channel_item) QVERIFY2(shown.insert(s->channel_item).second, "a channel shown twice");
        }
    }

    // After a selection every window of the current page is visible.
    void CheckCurrentPageShown() {
        const int cells = grid->Cells();
        for (int i = 0; i < cells; ++i) {
            QVERIFY(Host::Fake(grid->Windows()[grid->CurrentPage() * cells + i])->visible);
        }
    }

    GridSlot* Cell(int page, int i) { return grid->Windows()[page * grid->Cells() + i]; }

    // Opens node k by the Play command into the first empty window (the user clicks an empty cell first);
    // with every cell in use, by a drop on the "New Page" tab.
    void OpenByPlay(int k) {
        if (grid->HasNewPageTab()) {
            QVERIFY(grid->DropChannel(nodes[k], 0, 0, true));
        } else {
            grid->ActivateWindow(grid->Windows()[grid->BoundCount()]);
            Check();
            grid->PlayCommand(nodes[k]);
        }
        Check();
        CheckCurrentPageShown();
    }

  private slots:
    void init() {
        host = std::make_unique<Host>();
        grid = std::make_unique<GridModel>(host.get(), host.get(), QStringLiteral("Page"),
                                           QStringLiteral("New Page"));
        device = std::make_unique<QTreeWidgetItem>();
        nodes.clear();
        for (int i = 0; i < 40; ++i) nodes.push_back(new QTreeWidgetItem(device.get()));
        grid->Init(2, 2);
        grid->SetGridRect({0, 0, 400, 300});
        Check();
    }

    void startsWithOneEmptyPage() {
        QCOMPARE(grid->Pages(), 1);
        QCOMPARE(grid->BoundCount(), 0);
        QCOMPARE(grid->TabLabel(0), QStringLiteral("Page 1"));
        QCOMPARE(grid->ActiveWindow(), Cell(0, 0));
        // Cells tile the area, each inset by the one-pixel frame on its left and top.
        QCOMPARE(Cell(0, 0)->docked_rect, (GridRect{1, 1, 200, 150}));
        QCOMPARE(Cell(0, 3)->docked_rect, (GridRect{201, 151, 400, 300}));
    }

    void outOfRangeSidesFallBackOrAreRefused() {
        Host h;
        GridModel g(&h, &h, QStringLiteral("Page"), QStringLiteral("New Page"));
        g.Init(100000, -3);
        QCOMPARE(g.Rows(), 2);
        QCOMPARE(g.Cols(), 2);
        QVERIFY(!grid->SetGrid(0, 3));
        QVERIFY(!grid->SetGrid(9, 1));
        QVERIFY(!grid->SetGrid(2, 2000000000));
        QCOMPARE(grid->Rows(), 2);
        Check();
        QVERIFY(grid->SetGrid(8, 8));
        QCOMPARE(static_cast<int>(grid->Windows().size()), 64);
        Check();
    }

    void fourChannelsShowTheNewPageTab() {
        for (int k = 0; k < 4; ++k) OpenByPlay(k);
        QCOMPARE(grid->BoundCount(), 4);
        QVERIFY(grid->HasNewPageTab());
        QCOMPARE(grid->TabLabel(1), QStringLiteral("New Page"));
        // Clicking "New Page" re-selects the page shown.
        grid->OnTabSelected(1);
        QCOMPARE(host->selectedTab, 0);
        QCOMPARE(grid->CurrentPage(), 0);
        Check();
        // A drop on it opens page 2 with the channel in its first cell.
        GridSlot* w = grid->DropChannel(nodes[4], 0, 0, true);
        Check();
        QCOMPARE(grid->Pages(), 2);
        QCOMPARE(w, Cell(1, 0));
        QCOMPARE(w->channel_item, nodes[4]);
        QCOMPARE(grid->CurrentPage(), 1);
        QVERIFY(!grid->HasNewPageTab());
        CheckCurrentPageShown();
    }

    void dropOnEmptyCellGoesToFirstFreeCell() {
        OpenByPlay(0);
        const GridRect target = Cell(0, 3)->docked_rect;
        GridSlot* w = grid->DropChannel(nodes[1], target.left + 5, target.top + 5, false);
        Check();
        QCOMPARE(w, Cell(0, 1));
        QCOMPARE(grid->BoundCount(), 2);
        // Outside every cell, or a channel already shown: nothing.
        QVERIFY(!grid->DropChannel(nodes[2], -1, 5, false));
        QVERIFY(!grid->DropChannel(nodes[2], 0, 0, false));
        QVERIFY(!grid->DropChannel(nodes[0], 10, 10, false));
        QCOMPARE(grid->BoundCount(), 2);
        Check();
    }

    void dropOnOccupiedCellPushesLastToNextPage() {
        for (int k = 0; k < 4; ++k) OpenByPlay(k);
        GridSlot* last = Cell(0, 3);
        const GridRect target = Cell(0, 1)->docked_rect;
        GridSlot* w = grid->DropChannel(nodes[9], target.left + 1, target.top + 1, false);
        Check();
        QCOMPARE(grid->Pages(), 2);
        QCOMPARE(Cell(0, 1), w);
        QCOMPARE(w->channel_item, nodes[9]);
        QCOMPARE(Cell(0, 2)->channel_item, nodes[1]);
        QCOMPARE(Cell(1, 0), last);
        QCOMPARE(last->channel_item, nodes[3]);
        QVERIFY(!Host::Fake(last)->visible);
    }

    void playOnAnotherChannelReplacesItInPlace() {
        for (int k = 0; k < 3; ++k) OpenByPlay(k);
        grid->ActivateWindow(Cell(0, 1));
        grid->PlayCommand(nodes[7]);
        Check();
        QCOMPARE(grid->BoundCount(), 3);
        QCOMPARE(Cell(0, 0)->channel_item, nodes[0]);
        QCOMPARE(Cell(0, 1)->channel_item, nodes[7]);
        QCOMPARE(Cell(0, 2)->channel_item, nodes[2]);
        QCOMPARE(grid->ActiveWindow(), Cell(0, 1));
        QCOMPARE(host->selectedNode, nodes[7]);
        // Play on the shown channel closes it; the channels after it move up.
        grid->PlayCommand(nodes[7]);
        Check();
        QCOMPARE(grid->BoundCount(), 2);
        QCOMPARE(Cell(0, 1)->channel_item, nodes[2]);
        QCOMPARE(grid->ActiveWindow(), Cell(0, 1));
        // Play on a channel shown in a window that is not active closes it there; it is never shown twice.
        grid->ActivateWindow(Cell(0, 3));
        grid->PlayCommand(nodes[0]);
        Check();
        QCOMPARE(grid->BoundCount(), 1);
        QCOMPARE(Cell(0, 0)->channel_item, nodes[2]);
    }

    void releasingLastChannelOfLastPageDeletesIt() {
        for (int k = 0; k < 5; ++k) OpenByPlay(k);
        QCOMPARE(grid->Pages(), 2);
        QCOMPARE(grid->CurrentPage(), 1);
        const size_t pooled = grid->FreePool().size();
        GridSlot* w = grid->PlayCommand(nodes[4]);
        Check();
        QCOMPARE(grid->Pages(), 1);
        QCOMPARE(grid->CurrentPage(), 0);
        QCOMPARE(w, Cell(0, 0));
        QCOMPARE(grid->FreePool().size(), pooled + 4);
        QVERIFY(grid->HasNewPageTab());
        CheckCurrentPageShown();
        // Pooled windows come back before new ones are made.
        const size_t made = host->windows.size();
        grid->DropChannel(nodes[5], 0, 0, true);
        Check();
        QCOMPARE(host->windows.size(), made);
    }

    void sixChannelsReflowBetweenGrids() {
        for (int k = 0; k < 6; ++k) OpenByPlay(k);
        QCOMPARE(grid->Pages(), 2);
        QVERIFY(grid->SetGrid(3, 3));
        Check();
        CheckCurrentPageShown();
        QCOMPARE(grid->Pages(), 1);
        QCOMPARE(grid->BoundCount(), 6);
        for (int k = 0; k < 6; ++k) QCOMPARE(grid->Windows()[k]->channel_item, nodes[k]);
        QCOMPARE(grid->CurrentPage(), 0);
        QVERIFY(grid->SetGrid(2, 2));
        Check();
        QCOMPARE(grid->Pages(), 2);
        QCOMPARE(grid->BoundCount(), 6);
        for (int k = 0; k < 6; ++k) QCOMPARE(grid->Windows()[k]->channel_item, nodes[k]);
        QVERIFY(grid->SetGrid(1, 1));
        Check();
        QCOMPARE(grid->Pages(), 6);
        QVERIFY(grid->HasNewPageTab());
    }

    void cyclingPreparesTheNextPage() {
        for (int k = 0; k < 6; ++k) OpenByPlay(k);
        grid->SelectWindow(0, Cell(0, 0));
        Check();
        host->starts.clear();
        host->recording.insert(ChannelOf(nodes[1]));
        grid->SetCycleSettings(10, 5, 0);
        grid->StartCycling();
        auto starts = [&](int k) { return host->starts[ChannelOf(nodes[k])]; };
        for (int second = 1; second <= 9; ++second) {
            grid->CycleTick();
            Check();
            QCOMPARE(grid->CurrentPage(), 0);
            // Page 2's video runs from the fifth second on, once per second until the change.
            QCOMPARE(starts(4), std::max(0, second - 4));
            QCOMPARE(host->stops[ChannelOf(nodes[0])], 0);
        }
        grid->CycleTick();
        Check();
        CheckCurrentPageShown();
        QCOMPARE(grid->CurrentPage(), 1);
        QCOMPARE(grid->CycleCountdown(), 10);
        // The page turned on its own: the operator's selection stays where it was.
        QCOMPARE(host->selectedNode, nodes[0]);
        // The page left stops its sources, except the one that records.
        QCOMPARE(host->stops[ChannelOf(nodes[0])], 1);
        QCOMPARE(host->stops[ChannelOf(nodes[2])], 1);
        QCOMPARE(host->stops[ChannelOf(nodes[1])], 0);
        QCOMPARE(host->ticks[ChannelOf(nodes[5])], 10);
        // A click on a window stops cycling only when the stop mode says so.
        grid->ActivateWindow(Cell(1, 0));
        QCOMPARE(grid->CycleCountdown(), 10);
        grid->SetCycleSettings(10, 5, CycleStopRules::kDisplayWindow);
        grid->ActivateWindow(Cell(1, 0));
        QCOMPARE(grid->CycleCountdown(), 0);
        QCOMPARE(grid->CycleDuration(), 0);
        for (int i = 0; i < 20; ++i) grid->CycleTick();
        QCOMPARE(grid->CurrentPage(), 1);
        Check();
        // A page chosen by its tab selects its first channel.
        grid->OnTabSelected(0);
        QCOMPARE(host->selectedNode, nodes[0]);
    }

    void cyclingWithOnePageDoesNothing() {
        OpenByPlay(0);
        grid->SetCycleSettings(1, -1, 0);
        grid->StartCycling();
        for (int i = 0; i < 3; ++i) grid->CycleTick();
        QCOMPARE(grid->CurrentPage(), 0);
        QCOMPARE(grid->CycleCountdown(), 1);
        Check();
    }

    void loadedChannelsGoFirstAndPlayingOnesFollow() {
        OpenByPlay(0);
        OpenByPlay(1);
        GridSlot* keptWindow = Cell(0, 1);
        // The file names channel 5, channel 1 (already shown), channel 5 again and a node the tree lacks.
        QVERIFY(grid->PlaceLoadedChannels({nodes[5], nodes[1], nodes[5], nullptr, nodes[6]}, 2, 2));
        Check();
        CheckCurrentPageShown();
        QCOMPARE(grid->BoundCount(), 4);
        QCOMPARE(Cell(0, 0)->channel_item, nodes[5]);
        QCOMPARE(Cell(0, 1), keptWindow);
        QCOMPARE(Cell(0, 1)->channel_item, nodes[1]);
        QCOMPARE(Cell(0, 2)->channel_item, nodes[6]);
        QCOMPARE(Cell(0, 3)->channel_item, nodes[0]);
        QVERIFY(!grid->PlaceLoadedChannels({nodes[9]}, 0, 2));
        QVERIFY(!grid->PlaceLoadedChannels({nodes[9]}, 2, 9));
        QCOMPARE(grid->BoundCount(), 4);
        Check();
        // More channels than cells: the grid grows pages for them.
        std::vector<QTreeWidgetItem*> many(nodes.begin() + 10, nodes.begin() + 30);
        QVERIFY(grid->PlaceLoadedChannels(many, 3, 3));
        Check();
        QCOMPARE(grid->BoundCount(), 24);
        QCOMPARE(grid->Pages(), 3);
    }

    void resetLeavesOneEmptyPage() {
        for (int k = 0; k < 9; ++k) OpenByPlay(k);
        grid->Windows()[3]->floating = true;
        grid->ResetGrid();
        Check();
        QCOMPARE(grid->Pages(), 1);
        QCOMPARE(grid->BoundCount(), 0);
        CheckCurrentPageShown();
        const auto all = grid->TakeAllWindows();
        QCOMPARE(all.size(), host->windows.size());
        QVERIFY(grid->Windows().empty());
        QVERIFY(grid->FreePool().empty());
    }

    // A vehicle's channels go together to the end of the order, packed: no free cell is left before them,
    // shown channels move there instead of playing twice (the ones after them close up), and the page of
    // the first becomes current.
    void aVehicleOpensPackedAtTheEnd() {
        for (int k : {0, 1, 2}) OpenByPlay(k);
        GridSlot* shown = Cell(0, 1);
        QCOMPARE(grid->OpenAtEnd({nodes[1], nodes[5], nodes[1], nullptr, nodes[6]}), shown);
        Check();
        CheckCurrentPageShown();
        QCOMPARE(grid->BoundCount(), 5);
        QCOMPARE(grid->Pages(), 2);
        QCOMPARE(grid->CurrentPage(), 0);
        QCOMPARE(grid->ActiveWindow(), shown);
        QCOMPARE(Cell(0, 0)->channel_item, nodes[0]);
        QCOMPARE(Cell(0, 1)->channel_item, nodes[2]);  // closed up behind the moved channel
        QCOMPARE(Cell(0, 2), shown);                   // moved, not played again
        QCOMPARE(Cell(0, 3)->channel_item, nodes[5]);
        QCOMPARE(Cell(1, 0)->channel_item, nodes[6]);
        QVERIFY(!grid->HasNewPageTab());
        // The same vehicle again: nothing moves.
        QCOMPARE(grid->OpenAtEnd({nodes[1], nodes[5], nodes[6]}), shown);
        Check();
        QCOMPARE(Cell(0, 3)->channel_item, nodes[5]);
        QCOMPARE(grid->Pages(), 2);
        // A channel placed on a free cell still goes to the first free one.
        grid->ActivateWindow(Cell(1, 3));
        grid->PlayCommand(nodes[9]);
        Check();
        QCOMPARE(Cell(1, 1)->channel_item, nodes[9]);
        // Another vehicle right after it, on the page where it starts; a full page shows "New Page".
        GridSlot* next = grid->OpenAtEnd({nodes[7], nodes[8]});
        Check();
        QCOMPARE(next, Cell(1, 2));
        QCOMPARE(grid->CurrentPage(), 1);
        QVERIFY(grid->HasNewPageTab());
        grid->CloseWindow(next);
        Check();
        QCOMPARE(grid->BoundCount(), 7);
        QCOMPARE(Cell(1, 2)->channel_item, nodes[8]);
        QCOMPARE(grid->OpenAtEnd({}), nullptr);
        Check();
    }

    void aVehicleOnAnEmptyGridStartsAtTheFirstCell() {
        GridSlot* first = grid->OpenAtEnd({nodes[3], nodes[4], nodes[5], nodes[6], nodes[7]});
        Check();
        QCOMPARE(first, Cell(0, 0));
        QCOMPARE(grid->CurrentPage(), 0);
        QCOMPARE(grid->Pages(), 2);  // five channels on a 2 x 2 grid run on to the next page
        QCOMPARE(Cell(1, 0)->channel_item, nodes[7]);
    }
};

QTEST_MAIN(GridModelTest)
#include "grid_model_test.moc"
