// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/left_panels.h"

#include "app/app_profile.h"
#include "fleet/alarm_desk.h"
#include "shell/main_layout.h"
#include "shell/panel_selector.h"

namespace {

// The skin's file names, which are also the names' translation keys.
const char* const kNames[LeftPanels::kPanels] = {"Device List", "Log Info", "Playback", "Alarm List"};

}  // namespace

LeftPanels::LeftPanels(QWidget* parent, const MainLayout& layout, const std::array<QWidget*, kPanels>& panels,
                       const QString& skin_folder, const QColor& text)
    : QObject(parent), panels_(panels) {
    for (int i = 0; i < kPanels; ++i) {
        auto* selector = new PanelSelector(parent);
        selectors_[size_t(i)] = selector;
        const QString base = skin_folder + QLatin1String(kNames[i]);
        selector->LoadImages(base + QStringLiteral("-on.bmp"), base + QStringLiteral("-off.bmp"));
        const QString name = AppProfile::Translate(QLatin1String(kNames[i]));
        selector->setToolTip(name);
        selector->SetOn(i == current_);
        selector->SetText(name);
        selector->SetTextColor(text);
        selector->setGeometry(layout.PlaceSelector(i, parent->width()));
        connect(selector, &PanelSelector::clicked, this, [this, i] { emit chosen(i); });
        panels_[size_t(i)]->setVisible(i == current_);
    }
    // The fourth selector sits where the status line's banner begins, over it: the status line keeps its
    // documented rectangle and its right-aligned text.
    selectors_[kAlarmList]->raise();
}

bool LeftPanels::Show(int index) {
    if (index == current_ || index < 0 || index >= kPanels) return false;
    selectors_[size_t(current_)]->SetOn(false);
    if (QWidget* shown = panels_[size_t(current_)]) shown->hide();
    selectors_[size_t(index)]->SetOn(true);
    if (QWidget* next = panels_[size_t(index)]) next->show();
    current_ = index;
    return true;
}

void LeftPanels::Place(const MainLayout& layout, int width, int height) {
    for (int i = 0; i < kAlarmList; ++i) selectors_[size_t(i)]->setGeometry(layout.PlaceSelector(i, width));
    if (panels_[kAlarmList]) panels_[kAlarmList]->setGeometry(layout.Place(MainLayout::kTree, width, height));
}

void LeftPanels::ShowAlarmCount(int count) {
    const QString name = AppProfile::Translate(QLatin1String(kNames[kAlarmList]));
    selectors_[kAlarmList]->SetText(count > 0 ? name + QStringLiteral(" (%1)").arg(count) : name);
}

void LeftPanels::FollowAlarmCount(const AlarmDesk& alarms) {
    ShowAlarmCount(alarms.unacknowledged());
    connect(&alarms, &AlarmDesk::unacknowledgedChanged, this, &LeftPanels::ShowAlarmCount);
}
