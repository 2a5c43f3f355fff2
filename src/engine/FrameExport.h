#pragma once
// One frame of a DV file (AVI, raw DV, QuickTime) written as a picture (PNG, or PPM for ".ppm"),
// plain or with the codes drawn as the preview draws them.
#include <string>

#include "settings/StampSettings.h"

namespace kelo::engine {

// 0 on success; otherwise non-zero with `error` saying why (file unreadable, not DV, frame
// missing, picture not writable).
int exportFrame(const std::string& videoPath, int frameIndex, const settings::StampSettings& settings, bool stamped,
                const std::string& picturePath, std::string& error);

}  // namespace kelo::engine
