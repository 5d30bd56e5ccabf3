// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_look.h"

#include <QFont>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>

#include "app/app_profile.h"
#include "app/app_settings.h"
#include "fleet/alarm_panel.h"
#include "fleet/device_status_list.h"
#include "fleet/log_list.h"
#include "shell/status_line.h"

QString MainCaption() {
    return AppProfile::Translate(QStringLiteral("Lumetra Client Application"));
}

QString MainCaption(int online_count) {
    if (online_count != 0)
        return MainCaption() + QStringLiteral(" - %1 ").arg(online_count) +
               AppProfile::Translate(QStringLiteral("Online Devices"));
    return MainCaption() + QStringLiteral(" - ") + AppProfile::Translate(QStringLiteral("No Device Active"));
}

void PlaceMainWindow(QMainWindow& window) {
    window.setMinimumSize(640, 480);
    window.resize(1024, 768 + window.menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

void PaintBackground(QWidget& central, const AppSettings& settings) {
    central.setAutoFillBackground(true);
    QPalette background = central.palette();
    background.setColor(QPalette::Window, AppSettings::Color(settings.MainBkColor));
    central.setPalette(background);
}

void ApplyLook(const AppSettings& settings, const QString& skin_folder, const LookedAt& children) {
    children.status_line.SetImages(QPixmap(skin_folder + QStringLiteral("top-bg.bmp")),
                                   QPixmap(skin_folder + QStringLiteral("logo.bmp")));
    children.log.SetHorizontalExtent(2 * settings.UIPanelWidth);
    QFont event_font(settings.Event_FontName);
    event_font.setPixelSize(
        qBound(AppSettings::kMinFontSize, settings.Event_FontSize, AppSettings::kMaxFontSize));
    event_font.setWeight(QFont::Black);
    children.status_line.setFont(event_font);
    const QColor text = AppSettings::Color(settings.TextColor),
                 back = AppSettings::Color(settings.ChildBkColor);
    children.status_line.SetTextColor(text);
    children.vehicle_list.SetColors(text, back);
    children.log.SetColors(text, back);
    children.alarms.SetColors(text, back);
}
