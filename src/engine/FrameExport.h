#pragma once
// One frame of a DV file (AVI, raw DV, QuickTime) written as a picture, by the picture file's
// ending: PNG or PPM, plain or with the codes drawn as the preview draws them, or the planes as
// decoded (".yuv": Y, Cb, Cr one after another at their native sizes).
#include <string>

#include "settings/StampSettings.h"

namespace kelo::engine {

// 0 on success; otherwise non-zero with `error` saying why (picture kind unknown, file
// unreadable, not DV, frame missing or undecodable, picture not writable).
int exportFrame(const std::string& videoPath, long long frameIndex, const settings::StampSettings& settings,
                bool stamped, const std::string& picturePath, std::string& error);

}  // namespace kelo::engine
