#include "settings/IntervalRules.h"

#include <algorithm>

#include "settings/MessageFormat.h"

namespace kelo::settings {

namespace {

constexpr std::u16string_view kZeroInterval = u"区间长度无效(0 秒)!";
constexpr std::u16string_view kZeroPeriodLength = u"加码区间长度无效(0 秒)!";
constexpr std::u16string_view kPeriodLengthTooLong = u"加码区间长度(%d 秒)必须小于周期长度(%d 秒)";
constexpr std::u16string_view kZeroFade = u"淡入/淡出长度无效(0 秒)!";
constexpr std::u16string_view kFadeTooLong = u"淡入/淡出长度(%d 秒)太长：淡入和淡出加起来不能超过加码区间长度(%d 秒)!";
constexpr std::u16string_view kZeroDelay = u"延迟长度无效(0 秒)!";

// A length of 0 (or less, from a file) becomes `fallback`, with `message`.
void correctZero(int32_t& value, int32_t fallback, std::u16string_view message, std::vector<std::u16string>& out) {
  if (value > 0) return;
  out.emplace_back(message);
  value = fallback;
}

}  // namespace

int32_t stampedSeconds(const StampCodeSettings& c) {
  switch (c.intervalMode) {
    case IntervalMode::OnSceneChange: return c.sceneSeconds;
    case IntervalMode::OnDateChange: return c.dateChangeSeconds;
    case IntervalMode::Periodic: return c.periodLengthSeconds;
    case IntervalMode::AtStartMarkers: return c.markerSeconds;
    default: return 0;
  }
}

bool usesMarkers(const StampCodeSettings& code) {
  return code.enabled && (code.intervalMode == IntervalMode::AtStartMarkers ||
                          code.intervalMode == IntervalMode::BetweenMarkers ||
                          code.intervalMode == IntervalMode::BetweenMarkersZeroTime);
}

bool modeHasFadeAndDelay(IntervalMode mode) {
  return mode >= IntervalMode::OnSceneChange && mode <= IntervalMode::BetweenMarkers;
}

std::vector<std::u16string> correctIntervalField(StampCodeSettings& c, IntervalField field) {
  std::vector<std::u16string> out;
  switch (field) {
    case IntervalField::SceneSeconds: correctZero(c.sceneSeconds, 8, kZeroInterval, out); break;
    case IntervalField::DateChangeSeconds: correctZero(c.dateChangeSeconds, 7, kZeroInterval, out); break;
    case IntervalField::MarkerSeconds: correctZero(c.markerSeconds, 8, kZeroInterval, out); break;
    case IntervalField::DelaySeconds: correctZero(c.delaySeconds, 1, kZeroDelay, out); break;
    case IntervalField::SceneGapSeconds: break;
    case IntervalField::PeriodSeconds:
    case IntervalField::PeriodLengthSeconds:
      correctZero(c.periodLengthSeconds, 6, kZeroPeriodLength, out);
      // Checked after the first correction too, so a period of 0 or 1 cannot stay behind it.
      if (c.periodLengthSeconds >= c.periodSeconds) {
        out.push_back(formatMessage(kPeriodLengthTooLong, {c.periodLengthSeconds, c.periodSeconds}));
        c.periodSeconds = 60;
        c.periodLengthSeconds = 6;
      }
      break;
    case IntervalField::FadeSeconds: {
      correctZero(c.fadeSeconds, 1, kZeroFade, out);
      const int32_t stamped = stampedSeconds(c);
      if (stamped > 0 && int64_t{2} * c.fadeSeconds > stamped) {
        out.push_back(formatMessage(kFadeTooLong, {c.fadeSeconds, stamped}));
        // Never 0: a fade of no length is invalid in itself.
        c.fadeSeconds = std::max(1, stamped / 2);
      }
      break;
    }
  }
  return out;
}

}  // namespace kelo::settings
