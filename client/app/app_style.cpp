// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/app_style.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

// The icon lives in the client library; a static library must ask for its resources to be linked in.
static void InitResources() {
    Q_INIT_RESOURCE(tavrin);
}

namespace {

// Fusion sizes a push button to its text with a few pixels to spare, which a short English word hides
// behind the minimum width; a long translation ("По умолчанию") then touches the button's edges. Every
// push button with a text gets half an average character more on each side.
class RoomyButtons : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_PushButton)
            if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
                button && !button->text.isEmpty())
                result.rwidth() += button->fontMetrics.averageCharWidth();
        return result;
    }
};

}  // namespace

void ApplyAppStyle(const AppSettings& settings) {
    InitResources();

    QApplication::setStyle(new RoomyButtons(QStyleFactory::create(QStringLiteral("Fusion"))));
    const QColor main = AppSettings::Color(settings.MainBkColor);
    const QColor child = AppSettings::Color(settings.ChildBkColor);
    const QColor text = AppSettings::Color(settings.TextColor);
    const QColor accent(0x2f, 0x7d, 0xd1);
    QPalette p;
    p.setColor(QPalette::Window, main.lighter(180));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, child);
    p.setColor(QPalette::AlternateBase, child.lighter(115));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, child.lighter(130));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, child);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, text.darker(160));
    p.setColor(QPalette::Link, accent.lighter(130));
    p.setColor(QPalette::Light, child.lighter(170));
    p.setColor(QPalette::Midlight, child.lighter(140));
    p.setColor(QPalette::Mid, child.lighter(110));
    p.setColor(QPalette::Dark, main);
    p.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, text.darker(220));
    QApplication::setPalette(p);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavrin/tavrin.png")));
}
