// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/option_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/app_profile.h"
#include "app/language_table.h"
#include "dialogs/message_box.h"

COptionDlg::COptionDlg(AppSettings& settings, SettingsStore& store,
                       std::function<QList<AppChannel*>()> playing_channels, QWidget* parent)
    : PreferenceDlg(AppProfile::Translate(QStringLiteral("Video Buffer Setting")), store.programFolder(),
                    parent),
      settings_(settings),
      store_(store),
      playing_channels_(std::move(playing_channels)) {
    slider_ = new QSlider(Qt::Horizontal);
    slider_->setRange(preferences::kMinLowDelay, preferences::kMaxLowDelay);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(5);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(AppProfile::Translate(QStringLiteral("Real-Time"))));
    row->addWidget(slider_, 1);
    row->addWidget(new QLabel(AppProfile::Translate(QStringLiteral("Smooth"))));
    body()->addLayout(row);
    auto* note = new QLabel(
        AppProfile::Translate(QStringLiteral("Note: More buffer times has more delay, but more smoothing.")));
    note->setWordWrap(true);
    body()->addWidget(note);

    language_ = new QComboBox;
    // English always, any other language only when its file was found at start-up; the row is the data.
    // Each entry also names the language in itself, so an operator finds their own in a list in any language.
    if (const LanguageTable* languages = store.languageTable()) {
        const LanguageTable& table = *languages;
        for (int row_index = 0; row_index < table.size(); ++row_index) {
            if (row_index != 0 && table.row(row_index).available == 0) continue;
            const LanguageRow& row = table.row(row_index);
            language_->addItem(
                LanguageTable::ListEntry(row, AppProfile::Translate(QString::fromUtf8(row.display_name))),
                row_index);
        }
    }
    auto* language_row = new QHBoxLayout;
    language_row->addWidget(new QLabel(AppProfile::Translate(QStringLiteral("Language:"))));
    language_row->addWidget(language_, 1);
    body()->addLayout(language_row);
    body()->addStretch(1);

    connect(slider_, &QSlider::valueChanged, this, [this] {
        slider_->setToolTip(bufferToolTip());
        if (slider_->isSliderDown()) ShowToolTip();
    });
    connect(slider_, &QSlider::sliderReleased, this, &COptionDlg::ShowToolTip);
}

QString COptionDlg::bufferToolTip() const {
    return preferences::BufferToolTip(slider_->value(), AppProfile::Translate(QStringLiteral("Sec")));
}

void COptionDlg::ShowToolTip() {
    if (!slider_->isVisible()) return;
    QStyleOptionSlider option;
    option.initFrom(slider_);
    option.minimum = slider_->minimum();
    option.maximum = slider_->maximum();
    option.sliderPosition = slider_->value();
    option.orientation = slider_->orientation();
    const QRect handle =
        slider_->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider_);
    QToolTip::showText(slider_->mapToGlobal(handle.topLeft()), bufferToolTip(), slider_);
}

void COptionDlg::Load(const preferences::OptionValues& values) {
    slider_->setValue(values.low_delay);
    slider_->setToolTip(bufferToolTip());
    QStringList entries;
    for (int i = 0; i < language_->count(); ++i) entries << language_->itemText(i);
    const QString name =
        values.language_name.isEmpty() ? QString() : AppProfile::Translate(values.language_name);
    const int entry = preferences::LanguageEntryFor(entries, name);
    if (entry >= 0) language_->setCurrentIndex(entry);
}

void COptionDlg::Refresh() {
    // A stored code of the table shows as its row's name; anything else is looked for as it stands.
    const QString code = store_.languageCode();
    QString name = code;
    if (const LanguageTable* table = store_.languageTable(); table && !code.isEmpty()) {
        const int row = table->IndexOf(code);
        if (row >= 0) name = QString::fromUtf8(table->row(row).display_name);
    }
    Load({settings_.LowDelay, name});
}

void COptionDlg::Default() {
    // The language is left as it is: Default is about the buffer, and a language chosen by accident
    // would only show at the next start, in a language the operator may not read.
    slider_->setValue(preferences::kMaxLowDelay);
    slider_->setToolTip(bufferToolTip());
}

void COptionDlg::Save() {
    AppSettings& settings = settings_;
    settings.LowDelay = slider_->value();
    bool stored = store_.SetLowDelay(settings.LowDelay);
    if (const LanguageTable* table = store_.languageTable();
        stored && table && language_->currentIndex() >= 0) {
        const int row = language_->currentData().toInt();
        const QString code = QString::fromUtf8(table->row(row).code);
        const bool changed = code != store_.languageCode();
        stored = store_.SetLanguageCode(code);
        // The texts and the locale are fixed at start-up: the operator would otherwise wait for a change.
        if (stored && changed && row != store_.languageIndex())
            ShowMessage(this, AppProfile::Translate(
                                  QStringLiteral("The new language takes effect at the next start.")));
    }
    if (playing_channels_) {
        for (AppChannel* channel : playing_channels_()) VelqChn_SetBufKeep(channel, settings.LowDelay);
    }
    if (stored)
        ClearSaveError();
    else
        ShowSaveError(store_.settingsFile());
}
