// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which widgets a screen reader cannot name: every widget under `root` (and `root` itself) that takes
// focus (hidden ones too, since a page or tab shown later is part of the same window) and whose
// accessible interface has an empty name. Each comes back as its object path from `root`, class names
// standing in for missing object names, so a failure says where to look.
#include <QAccessible>
#include <QStringList>
#include <QWidget>

inline QString WidgetPath(const QWidget* widget, const QWidget* root) {
    QStringList parts;
    for (const QObject* object = widget; object; object = object->parent()) {
        const QString name = object->objectName();
        parts.prepend(QString::fromLatin1(object->metaObject()->className()) +
                      (name.isEmpty() ? QString() : QStringLiteral("#") + name));
        if (object == root) break;
    }
    return parts.join(u'/');
}

inline bool HasAccessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible && !accessible->text(QAccessible::Name).trimmed().isEmpty();
}

// A widget that hands its focus to a child (a web view to its render widget) is named by the owner: the
// child counts as named when the owner is.
inline QStringList NamelessFocusableWidgets(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    QStringList nameless;
    for (QWidget* widget : widgets) {
        // Focus proxies pass focus on to another widget, which is the one to be named.
        if (widget->focusPolicy() == Qt::NoFocus || widget->focusProxy()) continue;
        // A combo box's drop-down list lives in a popup of its own, named by the combo box.
        if (widget->window()->windowType() == Qt::Popup) continue;
        if (!HasAccessibleName(widget) &&
            !(widget->parentWidget() && widget->parentWidget()->focusProxy() == widget &&
              HasAccessibleName(widget->parentWidget())))
            nameless << WidgetPath(widget, root);
    }
    return nameless;
}
