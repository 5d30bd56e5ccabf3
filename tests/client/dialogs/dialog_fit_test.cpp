// SPDX-License-Identifier: GPL-3.0-or-later
// Every dialog in every language of the table: no label, button or check box is narrower or lower than its
// text needs, so no translation is clipped or touches its control's edges.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <functional>

#include "../client_fixture.h"
#include "app/app_style.h"
#include "app/language_table.h"
#include "app/settings_store.h"
#include "dialogs/about_dlg.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/cycle_dlg.h"
#include "dialogs/dev_config_dlg.h"
#include "dialogs/dev_info_dlg.h"
#include "dialogs/option_dlg.h"
#include "dialogs/record_dlg.h"
#include "dialogs/search_dlg.h"
#include "dialogs/snapshot_dlg.h"
#include "shell/main_layout.h"
#include "shell/panel_selector.h"

namespace {

class NoSession : public LoginHost {
  public:
    AppSession* session() const override { return nullptr; }
    void LogoutCleanup() override {}
    void AddLogLine(const QString&) override {}
};

// The controls of `top` that show a text and are smaller than that text needs, one line each.
QStringList Clipped(QWidget* top) {
    QStringList found;
    for (QWidget* widget : top->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(top)) continue;
        QString text;
        QSize need;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            text = label->text();
            // A wrapping label may be narrow, but must be as high as its lines at the width it has.
            need = label->wordWrap()
                       ? QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()))
                       : label->sizeHint();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            text = button->text();
            need = button->sizeHint();
        }
        if (text.isEmpty()) continue;
        if (widget->width() < need.width() || widget->height() < need.height())
            found << QStringLiteral("\"%1\" is %2x%3, needs %4x%5")
                         .arg(text)
                         .arg(widget->width())
                         .arg(widget->height())
                         .arg(need.width())
                         .arg(need.height());
    }
    return found;
}

}  // namespace

class DialogFitTest : public QObject {
    Q_OBJECT
  private slots:
    void everyDialogFitsItsTextsInEveryLanguage() {
        ApplyAppStyle(AppSettings());  // the program's style, as it measures
        const LanguageTable table;
        QWidget owner;
        NoSession host;
        QStringList failures;
        for (int row = 0; row < table.size(); ++row) {
            const QString code = QLatin1String(table.row(row).code);
            ScratchHome home;
            home.WriteFile("Config.ini", "[Tavrin]\nLanguage File=" + code.toLatin1() + "\n");
            home.CopyLanguage(code);
            auto client = home.StartClient();
            QCOMPARE(AppProfile::Current()->languageIndex(), row);
            AppSettings& settings = client->settings;
            SettingsStore store(client->profile());

            const std::pair<const char*, std::function<QWidget*()>> dialogs[] = {
                {"login", [&] { return new CAppLoginDlg(&host, settings, store, &owner); }},
                {"about", [] { return new CAboutDlg; }},
                {"device",
                 [&] {
                     auto* dialog = new CDevInfoDlg(settings, nullptr, AppProfile::Current()->Provinces());
                     dialog->Open(nullptr);
                     return dialog;
                 }},
                {"config", [&] { return new CDevConfigDlg(settings, store); }},
                {"buffer", [&] { return new COptionDlg(settings, store, {}); }},
                {"record", [&] { return new CRecordDlg(settings, store); }},
                {"snapshot", [&] { return new CSnapshotDlg(settings, store); }},
                {"cycle",
                 [&] {
                     return new CCycleDlg(settings, store, {[] { return false; }, [](int) {}});
                 }},
                // The search panel is placed in the left column, as wide as the panel setting makes it.
                {"search",
                 [&] {
                     auto* column = new QWidget;
                     column->resize(800, 600);
                     (new CSearchDlg(settings, store, column))
                         ->setGeometry(7, 44, settings.UIPanelWidth, 463);
                     return column;
                 }},
            };
            // The panel selectors above the left column have a fixed place: their names must fit it.
            for (const char* name : {"Device List", "Log Info", "Playback"}) {
                PanelSelector selector;
                selector.SetText(AppProfile::Translate(QLatin1String(name)));
                if (selector.sizeHint().width() > MainLayout::SelectorRect(0).width())
                    failures << QStringLiteral("%1 selector: \"%2\" needs %3 pixels")
                                    .arg(code, selector.text())
                                    .arg(selector.sizeHint().width());
            }
            for (const auto& [name, make] : dialogs) {
                std::unique_ptr<QWidget> dialog(make());
                if (auto* preference = qobject_cast<PreferenceDlg*>(dialog.get()))
                    preference->ShowCurrent();
                else
                    dialog->show();
                QApplication::processEvents();
                for (const QString& clipped : Clipped(dialog.get()))
                    failures << QStringLiteral("%1 %2: %3").arg(code, QLatin1String(name), clipped);
            }
        }
        for (const QString& failure : failures) qWarning("%s", qPrintable(failure));
        QVERIFY2(failures.isEmpty(), qPrintable(QStringLiteral("%1 clipped texts").arg(failures.size())));
    }
};

QTEST_MAIN(DialogFitTest)
#include "dialog_fit_test.moc"
