// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The left column's panels (Device List, Log Info, Playback, Alarm List) and the selectors above them:
// one panel shows at a time and its selector is on. The window places them (Place) and decides what a
// switch means for the rest of it. UI thread only.
#include <QColor>
#include <QObject>
#include <QString>
#include <array>

class AlarmDesk;
class MainLayout;
class PanelSelector;
class QWidget;

class LeftPanels : public QObject {
    Q_OBJECT
  public:
    enum Panel { kDeviceList = 0, kLogInfo = 1, kPlayback = 2, kAlarmList = 3, kPanels };

    // `panels` in Panel order; the selectors are made as children of `parent` at the places of `layout`,
    // with the skin's images "<name>-on.bmp" and "<name>-off.bmp" from `skin_folder` and their translated
    // names in `text`.
    LeftPanels(QWidget* parent, const MainLayout& layout, const std::array<QWidget*, kPanels>& panels,
               const QString& skin_folder, const QColor& text);

    int current() const { return current_; }
    PanelSelector* selector(int index) const { return selectors_[size_t(index)]; }
    // Null for a panel destroyed at shutdown (Forget).
    QWidget* panel(int index) const { return panels_[size_t(index)]; }
    // Shows panel `index` in place of the current one; false when it is the current one or out of range.
    bool Show(int index);
    // The places of the layout: the three selectors above the column, every panel in the tree's place.
    void Place(const MainLayout& layout, int width, int height);
    // The alarm list's selector names the count of unacknowledged alarms (none: its name alone).
    void ShowAlarmCount(int count);
    // The same from `alarms` now and whenever its count changes; `alarms` outlives the panels.
    void FollowAlarmCount(const AlarmDesk& alarms);
    void Forget(int index) { panels_[size_t(index)] = nullptr; }

  signals:
    // A selector was clicked.
    void chosen(int index);

  private:
    std::array<QWidget*, kPanels> panels_;
    std::array<PanelSelector*, kPanels> selectors_{};
    int current_ = kDeviceList;
};
