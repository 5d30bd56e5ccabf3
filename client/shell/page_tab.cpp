#include "shell/page_tab.h"

#include <QPainter>

#include "shell/app_client.h"
#include "shell/app_profile.h"
#include "shell/app_settings.h"

PageTab::PageTab(QWidget* parent) : QWidget(parent) {
    rows_ = qBound(1, AppProfile::ReadInt(QStringLiteral("UIWindowRow"), 2), 4);
    columns_ = qBound(1, AppProfile::ReadInt(QStringLiteral("UIWindowCol"), 2), 4);
}

void PageTab::ResetGrid() {
    update();
}

void PageTab::OnTimer() {}

bool PageTab::TransferStatus(int, AppChannel*) {
    return false;
}

void PageTab::paintEvent(QPaintEvent*) {
    const AppSettings& settings = CAppClient::Settings();
    QPainter painter(this);
    painter.fillRect(rect(), AppSettings::Color(settings.MainBkColor));
    const QRect area = rect().adjusted(0, 0, -1, -1);
    const int cell_w = area.width() / columns_;
    const int cell_h = area.height() / rows_;
    const QString caption = AppProfile::Translate(QStringLiteral("Device Video Display"));
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            const QRect cell(area.left() + c * cell_w + 1, area.top() + r * cell_h + 1, cell_w - 2,
                             cell_h - 2);
            painter.fillRect(cell, AppSettings::Color(settings.ChildBkColor));
            painter.setPen(AppSettings::Color(settings.MainBkColor).lighter(250));
            painter.drawRect(cell.adjusted(0, 0, -1, -1));
            QColor text = AppSettings::Color(settings.TextColor);
            text.setAlpha(110);
            painter.setPen(text);
            painter.drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, caption);
        }
    }
}
