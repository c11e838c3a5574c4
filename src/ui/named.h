#pragma once

#include <QString>

namespace keelpack::ui {

// Gives a control its Qt object name, the design's name that the tests find it by, and its
// tool tip when one is given.
template <typename Control>
Control* Named(Control* control, const char* name, const QString& toolTip = {}) {
  control->setObjectName(name);
  if (!toolTip.isEmpty()) control->setToolTip(toolTip);
  return control;
}

}  // namespace keelpack::ui
