// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/page_tab.h"

#include <QFileInfo>

#include <QApplication>
#include <QBitmap>
#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <chrono>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "app/settings_store.h"
#include "grid/channel_commands.h"
#include "grid/dev_show_dlg.h"
#include "grid/page_file.h"
#include "grid/recording_guard.h"

namespace {

constexpr int kButtonWidth = 29;

// Tabs of fixed width, drawn by the grid: the tab's colour, its label centred three pixels down.
class PageTabBar : public QTabBar {
  public:
    PageTabBar(const GridModel* model, QWidget* parent) : QTabBar(parent), model_(model) {
        setDrawBase(false);
        setExpanding(false);
        setUsesScrollButtons(true);
        setElideMode(Qt::ElideNone);
    }
    void SetLook(int tabWidth, const QColor& fill, const QColor& text, const QColor& active) {
        tab_width_ = std::max(24, tabWidth);
        fill_ = fill;
        text_ = text;
        active_ = active;
        update();
    }

  protected:
    QSize tabSizeHint(int) const override { return {tab_width_, fontMetrics().height() + 10}; }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int i = 0; i < count(); ++i) {
            const QRect r = tabRect(i).adjusted(1, 0, -1, 0);
            if (!r.intersects(rect())) continue;
            p.fillRect(r, fill_);
            if (i == currentIndex()) {
                p.setPen(active_);
                p.drawRect(r.adjusted(0, 0, -1, -1));
            }
            p.setPen(text_);
            p.drawText(r.adjusted(0, 3, 0, 0), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                       model_->TabLabel(i));
        }
    }

  private:
    const GridModel* model_;
    int tab_width_ = 120;
    QColor fill_{Qt::black}, text_{Qt::white}, active_{Qt::red};
};

// A skin image with its mask colour made transparent; a missing file leaves the button without image.
QIcon MaskedIcon(const QString& path, const QColor& mask) {
    QPixmap pixmap(path);
    if (pixmap.isNull()) return {};
    pixmap.setMask(pixmap.createMaskFromColor(mask, Qt::MaskInColor));
    return QIcon(pixmap);
}

}  // namespace

PageTab::PageTab(PageTabOwner* owner, AppSettings& settings, const SettingsStore& store, QWidget* parent,
                 GridSources* sources)
    : QWidget(parent),
      owner_(owner),
      settings_(settings),
      store_(store),
      sources_(sources ? sources : &library_sources_),
      cycle_stop_(settings, [this] {
          if (model_) model_->StopCycling();
      }) {
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    model_ = std::make_unique<GridModel>(static_cast<GridHost*>(this), sources_,
                                         AppProfile::Translate(QStringLiteral("Page")),
                                         AppProfile::Translate(QStringLiteral("New Page")));
    tabs_ = new PageTabBar(model_.get(), this);
    // Each window's picture would otherwise cost a paint (and, with a web view in the main window, a
    // composition of the whole window) of its own: up to 400 a second at 16 tiles.
    repaint_clock_ = new QTimer(this);
    repaint_clock_->setTimerType(Qt::PreciseTimer);
    connect(repaint_clock_, &QTimer::timeout, this, [this] {
        for (GridSlot* w : model_->Windows()) static_cast<CDevShowDlg*>(w)->RepaintIfDirty();
    });
    repaint_clock_->start(kRepaintPeriod_ms);
    watch_clock_ = new QTimer(this);
    connect(watch_clock_, &QTimer::timeout, this, [this] {
        const int64_t now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
        for (GridSlot* w : model_->Windows()) static_cast<CDevShowDlg*>(w)->Tick(now_ms);
    });
    watch_clock_->start(kWatchPeriod_ms);
    setFocusPolicy(Qt::ClickFocus);
    connect(qApp, &QApplication::focusChanged, this, &PageTab::ShowFocusFrame);
    setAccessibleName(AppProfile::Translate(QStringLiteral("Video Grid")));
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (syncing_tabs_ == 0) model_->OnTabSelected(index);
    });
    // Placement order from the right edge.
    const struct {
        ChannelCommand command;
        const char* image;
        QString tip;
    } buttons[] = {
        {kCommandMap, "map.bmp", AppProfile::Translate(QStringLiteral("Map"))},
        {kCommandTalk, "talk.bmp", AppProfile::Translate(QStringLiteral("Talk"))},
        {kCommandRecord, "record.bmp", AppProfile::Translate(QStringLiteral("Record"))},
        {kCommandSnapshot, "snapshot.bmp", AppProfile::Translate(QStringLiteral("Snapshot"))},
    };
    for (size_t i = 0; i < buttons_.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setToolTip(buttons[i].tip);
        button->setAccessibleName(buttons[i].tip);
        button->setAutoRaise(true);
        button->setIconSize(QSize(25, 19));
        button->setProperty("image", QString::fromLatin1(buttons[i].image));
        const int command = buttons[i].command;
        // Talk shows whether talk is open (pressed in while the vehicle hears the operator).
        button->setCheckable(command == kCommandTalk);
        connect(button, &QToolButton::clicked, this, [this, command] {
            owner_->RunChannelCommand(command);
            UpdateMarks();
        });
        buttons_[i] = button;
    }
}

PageTab::~PageTab() {
    // Deleting a focused tile moves the focus, which must not reach this half-destroyed grid.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    DestroyAllWindows();
}

void PageTab::Init(int rows, int cols, const PageTabLook& look) {
    look_ = look;
    for (QAbstractButton* button : buttons_) {
        button->setIcon(MaskedIcon(look_.skinFolder + button->property("image").toString(), look_.mainBk));
    }
    static_cast<PageTabBar*>(tabs_)->SetLook(look_.tabWidth, look_.childBk, look_.text, look_.active);
    model_->Init(rows, cols);
    SetTileLook(look_.showLabels, look_.keepAspect);
    LayOut();
}

void PageTab::SetTileLook(bool showLabels, bool keepAspect) {
    look_.showLabels = showLabels;
    look_.keepAspect = keepAspect;
    const auto apply = [&](GridSlot* slot) {
        auto* w = static_cast<CDevShowDlg*>(slot);
        w->SetShowLabel(showLabels);
        w->SetKeepAspect(keepAspect);
    };
    for (GridSlot* w : model_->Windows()) apply(w);
    for (GridSlot* w : model_->FreePool()) apply(w);
}

void PageTab::InitFromSettings() {
    const AppSettings& settings = settings_;
    PageTabLook look;
    look.skinFolder = store_.skinFolder();
    look.tabWidth = qBound(24, store_.pageTabWidth_px(), 1000);
    look.mainBk = AppSettings::Color(settings.MainBkColor);
    look.childBk = AppSettings::Color(settings.ChildBkColor);
    look.text = AppSettings::Color(settings.TextColor);
    look.active = AppSettings::Color(settings.ActiveColor);
    look.showLabels = settings.TileLabel != 0;
    look.keepAspect = settings.TileStretch == 0;
    int rows = store_.gridRows();
    int cols = store_.gridCols();
    if (!GridModel::ValidSide(rows) || !GridModel::ValidSide(cols)) {
        owner_->AddLogLine(AppProfile::Translate(QStringLiteral("Grid size out of range, 2 x 2 used")) +
                           QStringLiteral(": %1 x %2").arg(rows).arg(cols));
        rows = cols = 2;
    }
    model_->SetCycleSettings(0, settings.CyclePrepare, settings.CycleStopMode);
    Init(rows, cols, look);
}

void PageTab::StartCycling() {
    model_->SetCycleSettings(settings_.CycleDuration, settings_.CyclePrepare, settings_.CycleStopMode);
    model_->StartCycling();
}

bool PageTab::TransferStatus(int code, AppChannel* channel) {
    CDevShowDlg* w = FindWindowOfChannel(channel);
    if (!w) return false;
    w->TransferStatus(code, channel);
    return true;
}

void PageTab::LayOut() {
    const int w = width();
    const int stripHeight = tabs_->sizeHint().height();
    tabs_->setGeometry(0, 0, std::max(0, w - 4 * kButtonWidth), stripHeight);
    const int top = stripHeight + 2;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setGeometry(w - kButtonWidth * static_cast<int>(i + 1), 0, kButtonWidth, top - 2);
    }
    setContentsMargins(0, top, 0, 0);
    if (!model_->Windows().empty()) model_->SetGridRect({0, top, w, std::max(top + 1, height())});
}

void PageTab::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    LayOut();
}

void PageTab::ActiveFrameChanged() {
    update();
    ShowFocusFrame();
}

void PageTab::ShowFocusFrame() {
    const QWidget* focus = QApplication::focusWidget();
    const bool in_grid = focus && (focus == this || isAncestorOf(focus));
    for (GridSlot* window : model_->Windows())
        static_cast<CDevShowDlg*>(window)->SetFocusFrame(in_grid && window == model_->ActiveWindow());
}

void PageTab::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), look_.mainBk);
    if (GridSlot* active = model_->ActiveWindow()) {
        const GridRect& r = active->docked_rect;
        p.setPen(look_.active);
        // The one-pixel line just outside the window's rectangle.
        p.drawRect(QRect(r.left - 1, r.top - 1, r.Width() + 1, r.Height() + 1));
    }
}

GridSlot* PageTab::CreateSlot() {
    auto* window = new CDevShowDlg(this);
    window->SetPaced(true);
    window->SetColors(look_.childBk, look_.text);
    window->SetShowLabel(look_.showLabels);
    window->SetKeepAspect(look_.keepAspect);
    connect(window, &CDevShowDlg::CloseRequested, this, [this](CDevShowDlg* w) { CloseTile(w); });
    connect(window, &CDevShowDlg::DragRequested, this, &PageTab::StartTileDrag);
    connect(window, &CDevShowDlg::Activated, this, [this](CDevShowDlg* w) {
        model_->ActivateWindow(w);
        cycle_stop_.Clicked(CycleStopRules::kDisplayWindow);
    });
    connect(window, &CDevShowDlg::MenuRequested, this,
            [this](CDevShowDlg* w) { owner_->ShowChannelMenu(w->channel_item); });
    connect(window, &CDevShowDlg::Docked, this, [this](CDevShowDlg* w) {
        const auto& all = model_->Windows();
        const bool inGrid = std::find(all.begin(), all.end(), w) != all.end();
        w->setVisible(inGrid && model_->PageOf(w) == model_->CurrentPage());
        update();
    });
    return window;
}

void PageTab::ShowSlot(GridSlot* slot) {
    auto* w = static_cast<CDevShowDlg*>(slot);
    if (!w->floating) {
        const GridRect& r = w->docked_rect;
        w->setGeometry(r.left, r.top, r.Width(), r.Height());
    }
    w->show();
}

void PageTab::HideSlot(GridSlot* slot) {
    auto* w = static_cast<CDevShowDlg*>(slot);
    if (w->floating) w->Dock();
    w->hide();
}

void PageTab::PlayChannel(QTreeWidgetItem* channel_item, GridSlot* window) {
    owner_->PlayChannel(channel_item, static_cast<CDevShowDlg*>(window));
}

void PageTab::StopChannel(GridSlot* window) {
    owner_->StopChannel(static_cast<CDevShowDlg*>(window));
}

void PageTab::InsertTab(int index) {
    ++syncing_tabs_;
    tabs_->insertTab(index, QString());
    RelabelTabs();
    --syncing_tabs_;
}

void PageTab::RemoveTab(int index) {
    ++syncing_tabs_;
    tabs_->removeTab(index);
    RelabelTabs();
    --syncing_tabs_;
}

void PageTab::SelectTab(int index) {
    ++syncing_tabs_;
    tabs_->setCurrentIndex(index);
    --syncing_tabs_;
    tabs_->update();
}

void PageTab::RelabelTabs() {
    // The bar draws the model's labels; the texts serve accessibility and tool tips.
    for (int i = 0; i < tabs_->count(); ++i) tabs_->setTabText(i, model_->TabLabel(i));
    tabs_->update();
}

QRect PageTab::NewPageTabRect() const {
    if (!model_->HasNewPageTab()) return {};
    return tabs_->tabRect(model_->Pages()).translated(tabs_->pos());
}

CDevShowDlg* PageTab::ActiveWindow() const {
    return static_cast<CDevShowDlg*>(model_->ActiveWindow());
}

CDevShowDlg* PageTab::FindWindowOfNode(const QTreeWidgetItem* node) const {
    return static_cast<CDevShowDlg*>(model_->FindWindowOfNode(node));
}

CDevShowDlg* PageTab::FindWindowOfChannel(const AppChannel* channel) const {
    if (!channel) return nullptr;
    for (GridSlot* w : model_->Windows()) {
        if (w->channel == channel) return static_cast<CDevShowDlg*>(w);
    }
    return nullptr;
}

std::vector<CDevShowDlg*> PageTab::Windows() const {
    std::vector<CDevShowDlg*> all;
    for (GridSlot* w : model_->Windows()) all.push_back(static_cast<CDevShowDlg*>(w));
    return all;
}

void PageTab::CycleTick() {
    model_->CycleTick();
    UpdateMarks();
}

void PageTab::UpdateMarks() {
    for (GridSlot* slot : model_->Windows()) {
        auto* w = static_cast<CDevShowDlg*>(slot);
        const bool recording = w->channel && VelqChn_IsRecording(w->channel);
        w->SetMarks(recording, w->device && owner_->AudioPlaying(w->device),
                    w->device && owner_->Talking(w->device));
    }
    buttons_[1]->setChecked(owner_->Talking(nullptr));
}

bool PageTab::CopyActivePicture() {
    const CDevShowDlg* active = ActiveWindow();
    const QImage picture = active ? active->CurrentPicture() : QImage();
    if (picture.isNull()) return false;
    QGuiApplication::clipboard()->setImage(picture);
    return true;
}

void PageTab::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (e->matches(QKeySequence::Copy)) {
        CopyActivePicture();
    } else if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
        model_->MoveActive(key == Qt::Key_Left    ? -1
                           : key == Qt::Key_Right ? 1
                                                  : 0,
                           key == Qt::Key_Up     ? -1
                           : key == Qt::Key_Down ? 1
                                                 : 0);
    } else if (key >= Qt::Key_1 && key <= Qt::Key_9 && !(e->modifiers() & ~Qt::KeypadModifier)) {
        model_->PickCell(key - Qt::Key_1);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        QTreeWidgetItem* node = owner_->SelectedNode();
        if (node && node->parent()) model_->PlayInto(node);
        UpdateMarks();
    } else if (key == Qt::Key_Delete) {
        CloseTile(model_->ActiveWindow());
    } else {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void PageTab::CloseTile(GridSlot* window) {
    if (!window || !window->channel_item) return;
    if (window->channel && VelqChn_IsRecording(window->channel) && !AskToStopRecording(this->window(), 1))
        return;
    model_->CloseWindow(window);
}

void PageTab::DestroyAllWindows() {
    for (GridSlot* slot : model_->TakeAllWindows()) delete static_cast<CDevShowDlg*>(slot);
}
