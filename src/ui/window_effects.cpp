#include "ui/window_effects.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "ui/translucency.h"

namespace keelpack::ui {

void Translucency::Apply(QWidget& window, std::optional<int> alpha) {
  if (!available_) return;
  lastAlpha_ = static_cast<uint8_t>(std::clamp(alpha.value_or(lastAlpha_), 0, 255));
  MakeWindowTransparent(&window, lastAlpha_);
}

int FadeIn::Step(bool& last) {
  phase_ += kPhaseStep;
  last = phase_ > kPi;
  const auto alpha = static_cast<int>((1 - std::cos(phase_)) * 128);
  return std::min(alpha, 255);
}

}  // namespace keelpack::ui
