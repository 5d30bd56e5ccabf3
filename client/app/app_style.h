// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client's look: the Fusion style with a palette made from the colour settings (MainBkColor,
// ChildBkColor, TextColor), so menus, dialogs, headers and scroll bars match the skin; and the
// application icon. Push buttons keep some room around their texts in every language.
#include "app/app_settings.h"

void ApplyAppStyle(const AppSettings& settings);
