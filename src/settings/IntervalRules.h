#pragma once
// The rules of a code's interval values as the user enters them, one field at a time: a length of
// 0 seconds is corrected to a usable one, the stamped length stays below the period, and a fade in
// and out fits into the stamped length. Each correction comes with the warning the user is shown.
#include <string>
#include <vector>

#include "settings/StampSettings.h"

namespace kelo::settings {

// The interval fields that are checked as they are left.
enum class IntervalField { SceneSeconds, SceneGapSeconds, DateChangeSeconds, PeriodSeconds, PeriodLengthSeconds,
                           MarkerSeconds, FadeSeconds, DelaySeconds };

// Seconds a code stays on in the modes with a fixed stamped length (1-4); 0 in the others.
int32_t stampedSeconds(const StampCodeSettings& code);

// Fade and delay apply in modes 1-5.
bool modeHasFadeAndDelay(IntervalMode mode);

// An enabled code whose interval follows the file's start and end markers.
bool usesMarkers(const StampCodeSettings& code);

// Checks `field` of `code` after it was entered and corrects it; the warnings of the corrections,
// in order (none when the value stands).
std::vector<std::u16string> correctIntervalField(StampCodeSettings& code, IntervalField field);

}  // namespace kelo::settings
