// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session_wiring.h"

#include <QPointer>

#include "app/session_controller.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/dev_config_dlg.h"
#include "dialogs/search_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/dev_tree.h"
#include "fleet/device_info.h"
#include "fleet/fleet_presenter.h"
#include "grid/page_tab.h"
#include "map/map_dlg.h"
#include "shell/page_keeper.h"
#include "shell/status_line.h"

void ConnectSession(SessionController& session, const SessionReceivers& to, QObject* context) {
    SessionController* from = &session;
    QObject::connect(&from->events(), &EventDispatch::connectionState, to.login,
                     &CAppLoginDlg::ShowConnectionState);
    to.fleet.Follow(session);
    StatusLine* status_line = &to.status_line;
    QObject::connect(
        &to.fleet, &FleetPresenter::centerStatus, status_line,
        [status_line](const QString& text) { status_line->SetText(text + QStringLiteral("  ")); });
    QObject::connect(&to.fleet, &FleetPresenter::positionReported, context,
                     [map = QPointer<CMapDlg>(to.map)](int row, const QByteArray& sentence) {
                         if (map) map->Position(sentence, row);
                     });
    QObject::connect(&to.fleet, &FleetPresenter::deviceListed, context,
                     [&alarms = to.alarms, &pages = to.pages, &tree = to.tree](int row, const QString& id) {
                         alarms.VehicleListed(row, id);
                         pages.DevicesListed(tree.EntryCount());
                     });
    // The alarm episodes follow the words themselves (the alarm desk reads them), which also shows a word
    // going back to 0; each accepted login asks for the words the vehicles already have.
    QObject::connect(&from->events(), &EventDispatch::connectionState, context, [from](int code, qintptr) {
        if (code == VELQ_EV_LOGIN_OK || code == VELQ_EV_LOGIN_VERSION) AskStatusWords(from->session());
    });
    QObject::connect(&from->events(), &EventDispatch::problem, context, to.log);
    QObject::connect(&from->events(), &EventDispatch::configStatus, &to.dev_config,
                     &CDevConfigDlg::SetStatus);
    QObject::connect(&from->events(), &EventDispatch::listBegins, context, to.list_begins);
    QObject::connect(&from->events(), &EventDispatch::vehicleListBegins, to.search,
                     &CSearchDlg::VehicleListBegin);
    QObject::connect(&from->events(), &EventDispatch::vehicleListed, to.search, &CSearchDlg::AddVehicle);
    QObject::connect(&from->events(), &EventDispatch::transferStatus, context,
                     [grid = QPointer<PageTab>(to.grid)](int code, AppChannel* channel) {
                         if (grid) grid->TransferStatus(code, channel);
                     });
    QObject::connect(&from->events(), &EventDispatch::configResult, context,
                     [&dialog = to.dev_config](int kind, AppOperation* operation, AppDevice* device) {
                         if (device && device == dialog.device()) dialog.Result(kind, operation);
                     });
}
