#pragma once

#include <cstdint>
#include <optional>

class QWidget;

namespace keelpack::ui {

// Window translucency for the main window's fade-in and, later, the about screen.
class Translucency {
 public:
  explicit Translucency(bool available) : available_(available) {}

  bool available() const { return available_; }
  uint8_t lastAlpha() const { return lastAlpha_; }

  // Applies `alpha` (0 transparent to 255 opaque) to the window, or the last alpha applied
  // when none is given. Does nothing where translucency is not available.
  void Apply(QWidget& window, std::optional<int> alpha = std::nullopt);

 private:
  bool available_;
  uint8_t lastAlpha_ = 255;
};

// The opening fade: the alpha rises along a cosine from 0 to 255, one step per tick.
class FadeIn {
 public:
  static constexpr float kPhaseStep = 0.05f;
  static constexpr float kPi = 3.1415927f;

  // Advances one tick and gives the alpha for it; `last` tells that this was the final tick.
  int Step(bool& last);

 private:
  float phase_ = 0;
};

}  // namespace keelpack::ui
