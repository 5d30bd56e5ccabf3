#include "map/map_dlg.h"

#include <QPainter>

#include "corvel/corvel.h"
#include "shell/app_client.h"
#include "shell/app_settings.h"

CMapDlg::CMapDlg(QWidget* parent) : QWidget(parent) {}

void CMapDlg::SelectVehicle(int index) {
    if (index == Index || Index == -2) return;
    Index = index;
    has_position_ = false;
    update();
}

int CMapDlg::Position(const QByteArray& sentence, int index) {
    double latitude = 0, longitude = 0;
    if (!VelqApp_GPRMC(sentence.constData(), &latitude, &longitude, &SpeedBar, &AngleBar)) return 0;
    if (index == Index && Index >= 0) {
        latitude_ = latitude;
        longitude_ = longitude;
        has_position_ = true;
        update();
    }
    return 1;
}

void CMapDlg::paintEvent(QPaintEvent*) {
    const AppSettings& settings = CAppClient::Settings();
    QPainter painter(this);
    painter.fillRect(rect(), AppSettings::Color(settings.ChildBkColor));
    if (!has_position_) return;
    QColor text = AppSettings::Color(settings.TextColor);
    painter.setPen(text);
    painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignLeft | Qt::AlignTop,
                     QString::asprintf("%.5f, %.5f   %.2f km/h", latitude_, longitude_, SpeedBar));
}
