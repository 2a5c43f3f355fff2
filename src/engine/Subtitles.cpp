#include "engine/Subtitles.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>

#include "dv/DifLayout.h"
#include "dv/VideoProfile.h"
#include "dv/FrameInfo.h"
#include "dv/Packs.h"
#include "container/DvSource.h"
#include "engine/MarkerList.h"
#include "engine/RunLog.h"
#include "engine/FrameDecider.h"
#include "engine/StampSchedule.h"
#include "platform/Text.h"
#include "render/StampText.h"
#include "render/TimeFormatTraits.h"
#include "settings/IntervalRules.h"

namespace kelo::engine {

namespace {

using settings::IntervalMode;

// The DV frames of a file in file order: 0 with the frame in `frame`, 1 at the end, -1 when
// reading failed (`error` set).
using FrameFeed = std::function<int(std::vector<uint8_t>& frame, std::string& error)>;

// Opens the frames of a DV file in any container and loads the file's markers. This is the only
// place that knows where the frames come from.
bool openFrameFeed(const std::string& path, FrameFeed& feed, MarkerList& markers, const dv::VideoProfile*& profile,
                   std::string& error) {
  std::unique_ptr<container::DvSource> opened;
  if (container::openCheckedSource(path, /*random*/ false, opened, error) != container::HeaderOutcome::Valid)
    return false;
  std::shared_ptr<container::DvSource> source(std::move(opened));
  markers.load(markerPathFor(path));
  auto log = std::make_shared<container::MessageList>();
  auto buffer = std::make_shared<std::vector<uint8_t>>(container::kFrameBufferBytes);
  auto info = std::make_shared<dv::DvFrameInfo>();
  auto next = [source, log, buffer, info, index = 0](size_t& length) mutable {
    return source->readFrame(*info, nullptr, buffer->data(), length, index++, log.get());
  };
  // The first frame tells the system; it is handed out by the first call.
  size_t length = 0;
  container::ReadOutcome rc = next(length);
  if (rc == container::ReadOutcome::ReadFailed) {
    error = log->last(container::kMsgReadFailed);
    return false;
  }
  if (rc != container::ReadOutcome::Frame || length <= source->frameOffset()) {
    error = "no DV frame in " + path;
    return false;
  }
  profile = info->profile;
  feed = [next, source, buffer, log, rc, length](std::vector<uint8_t>& frame, std::string& err) mutable {
    const container::ReadOutcome now = rc;
    if (now == container::ReadOutcome::Frame) {
      const size_t offset = source->frameOffset();
      if (length <= offset) {
        err = "a frame of " + source->path() + " holds no DV";
        return -1;
      }
      frame.assign(buffer->begin() + static_cast<std::ptrdiff_t>(offset),
                   buffer->begin() + static_cast<std::ptrdiff_t>(length));
      rc = next(length);
      return 0;
    }
    if (now == container::ReadOutcome::End) return 1;
    err = log->last(container::kMsgReadFailed);
    return -1;
  };
  return true;
}


std::string cueLines(const std::u16string& text) {
  std::string out;
  for (char c : platform::toUtf8(text)) out += c == '\r' ? '\n' : c;
  return out;
}

// Frames in file order with up to a second of them read ahead, which the frame-number time
// formats need to know where the recorded second changes.
class Lookahead {
 public:
  explicit Lookahead(FrameFeed feed) : feed_(std::move(feed)) {}
  // Frame `k` behind the current one (0: the current one); nullptr past the end or on error.
  const std::vector<uint8_t>* at(size_t k) {
    while (ahead_.size() <= k && status_ == 0) {
      std::vector<uint8_t> frame;
      status_ = feed_(frame, error_);
      if (status_ == 0) ahead_.push_back(std::move(frame));
    }
    return k < ahead_.size() ? &ahead_[k] : nullptr;
  }
  void advance() {
    if (!ahead_.empty()) ahead_.pop_front();
  }
  bool failed() const { return status_ < 0; }
  const std::string& error() const { return error_; }

 private:
  FrameFeed feed_;
  std::deque<std::vector<uint8_t>> ahead_;
  int status_ = 0;
  std::string error_;
};

// Frames from the current one until the recorded second changes, as a stamping pass counts them:
// 1 to 30, or 0 when the next 30 frames all share the current second.
int framesToNextSecond(Lookahead& frames, const dv::DvFrameInfo& info, const dv::DateTimeReadOptions& options) {
  dv::DvFrameInfo copy = info;
  for (int c = 1;; ++c) {
    const std::vector<uint8_t>* frame = frames.at(static_cast<size_t>(c));
    if (!frame) return c;
    const int status = dv::readRecordedDateTime(copy, options, frame->data(), frame->size());
    if (status == 0 && copy.secondsOfDay != info.secondsOfDay) return c;
    if (c == 30) return 0;
  }
}

std::string clockText(int64_t ms, SubtitleFormat format) {
  const int64_t h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
  char text[32];
  switch (format) {
    case SubtitleFormat::Srt:
      std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", static_cast<long long>(h),
                    static_cast<long long>(m), static_cast<long long>(s), static_cast<long long>(f));
      break;
    case SubtitleFormat::Vtt:
      std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(h),
                    static_cast<long long>(m), static_cast<long long>(s), static_cast<long long>(f));
      break;
    case SubtitleFormat::Ass:
      std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", static_cast<long long>(h),
                    static_cast<long long>(m), static_cast<long long>(s), static_cast<long long>(f / 10));
      break;
  }
  return text;
}

// WebVTT reads '<' and '&' as markup.
std::string escapeVtt(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

std::string assLines(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\N";
    else if (c == '{') out += "\\{";  // an override block otherwise
    else out += c;
  }
  return out;
}

}  // namespace

bool buildSubtitleTrack(const settings::StampSettings& settings, const std::string& path, SubtitleTrack& track,
                        std::string& error) {
  track = SubtitleTrack{};
  const settings::StampCodeSettings& dc = settings.dateCode;
  const settings::StampCodeSettings& tc = settings.timeCode;
  if (!dc.enabled && !tc.enabled) {
    error = "不知道要加什么码";
    return false;
  }
  if (tc.intervalMode == IntervalMode::BetweenMarkersZeroTime) {
    const int f = tc.formatIndex;
    if (!render::timeFormatTraits(f).zeroTimeCapture) {
      error = "加码区间选项与时间码格式选项不相容，请参考帮助文件。";
      return false;
    }
  }
  FrameFeed feed;
  MarkerList markerList;
  const dv::VideoProfile* profile = nullptr;
  if (!openFrameFeed(path, feed, markerList, profile, error)) return false;
  if (!profile) {
    error = "not a 525/60 or 625/50 DV file: " + path;
    return false;
  }
  if ((settings::usesMarkers(dc) || settings::usesMarkers(tc)) && markerList.count() == 0) {
    error = formatMessage("%s 没有任何开始/结束标记，跳过去。", path.c_str());
    return false;
  }
  track.rateNumerator = profile->rateNumerator;
  track.rateDenominator = profile->rateDenominator;
  track.width = profile->width;
  track.height = profile->height;

  // Texts are formatted in full for every frame; whether a code shows is decided exactly as in a
  // stamping pass.
  settings::StampSettings s = settings;
  s.idle = true;
  Lookahead frames(std::move(feed));
  FrameDecider decider(s, markerList, -1, nullptr,
                       [&frames](const dv::DvFrameInfo& info, const dv::DateTimeReadOptions& options) {
                         return framesToNextSecond(frames, info, options);
                       });
  dv::DvFrameInfo info;
  info.profile = profile;  // the rate the schedules count by
  info.previousSecondsOfDay = -1;
  info.previousDateKey = -1;
  pipeline::CodeWeights weights;
  std::string open;  // text of the cue being extended
  int openFrom = 0;
  int i = 0;
  for (const std::vector<uint8_t>* frame; (frame = frames.at(0)) != nullptr; frames.advance(), ++i) {
    std::string text;
    const FrameDecision decision = decider.decide(info, frame->data(), frame->size(), i, weights);
    if (decision == FrameDecision::Stamp) {
      if (info.hasDate) text = cueLines(render::formatDateText(info, s).text);
      if (info.hasTime) text += (text.empty() ? "" : "\n") + cueLines(render::formatTimeText(info, s).text);
    }
    if (decision != FrameDecision::Skipped) FrameDecider::remember(info);
    if (text != open) {
      if (!open.empty()) track.cues.push_back({openFrom, i, open});
      open = text;
      openFrom = i;
    }
  }
  if (frames.failed()) {
    error = frames.error();
    return false;
  }
  if (!open.empty()) track.cues.push_back({openFrom, i, open});
  return true;
}

std::string formatSubtitles(const SubtitleTrack& track, SubtitleFormat format) {
  // Frame n starts at n × denominator / numerator seconds; cues meet without gaps or overlaps.
  auto ms = [&](int frame) {
    return static_cast<int64_t>(frame) * 1000 * track.rateDenominator / track.rateNumerator;
  };
  std::string out;
  switch (format) {
    case SubtitleFormat::Srt: break;
    case SubtitleFormat::Vtt: out = "WEBVTT\n\n"; break;
    case SubtitleFormat::Ass:
      out = "[Script Info]\nScriptType: v4.00+\nPlayResX: " + std::to_string(track.width) +
            "\nPlayResY: " + std::to_string(track.height) +
            "\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
            "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, "
            "Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
            "Style: Default,Arial,28,&H00FFFFFF,&H00FFFFFF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,3,20,20,"
            "20,1\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
      break;
  }
  int number = 0;
  for (const SubtitleCue& cue : track.cues) {
    const std::string from = clockText(ms(cue.firstFrame), format), to = clockText(ms(cue.endFrame), format);
    switch (format) {
      case SubtitleFormat::Srt:
        out += std::to_string(++number) + "\n" + from + " --> " + to + "\n" + cue.text + "\n\n";
        break;
      case SubtitleFormat::Vtt: out += from + " --> " + to + "\n" + escapeVtt(cue.text) + "\n\n"; break;
      case SubtitleFormat::Ass: out += "Dialogue: 0," + from + "," + to + ",Default,,0,0,0,," + assLines(cue.text) + "\n"; break;
    }
  }
  return out;
}

const char* subtitleExtension(SubtitleFormat format) {
  switch (format) {
    case SubtitleFormat::Srt: return "srt";
    case SubtitleFormat::Vtt: return "vtt";
    case SubtitleFormat::Ass: return "ass";
  }
  return "srt";
}

}  // namespace kelo::engine
