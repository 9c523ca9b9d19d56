// Building the widget of one control from its description in RQ55.uir (or from NewCtrl).
#pragma once

#include <QJsonObject>
#include <QString>

#include "platform/panel_table.h"

namespace platform {

// The control type of a type name of RQ55.uir; 0 for an unknown name.
int ControlTypeFromName(const QString& name);

// Builds the widget of one control on the panel, with its caption, font, tooltip, visibility and
// dimming; the caller has checked its type and callback.
void BuildControl(Panel& p, Control& c, const QJsonObject& o);

} // namespace platform
