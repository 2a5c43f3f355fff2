#pragma once
// The real power-off: asks logind to switch the computer off.
#include "engine/RunObserver.h"

namespace kelo::engine {

class SystemPowerOff final : public PowerOff {
 public:
  // Runs `systemctl poweroff`; 0 when the request was accepted, else the command's exit status
  // (or -1 when it could not be started).
  int powerOff() override;
};

}  // namespace kelo::engine
