#include "engine/PreviewPass.h"

#include <vector>

#include "container/DvSource.h"
#include "dv/DifLayout.h"
#include "dv/Packs.h"
#include "dv/VideoProfile.h"
#include "engine/FrameDecider.h"
#include "engine/RunLog.h"
#include "pipeline/FrameStamper.h"
#include "render/TimeFormatTraits.h"

namespace kelo::engine {

struct PreviewPass::State {
  std::unique_ptr<container::DvSource> source;
  MarkerList markers;
  dv::DvFrameInfo info;
  pipeline::FrameStamper stamper;
  pipeline::CodeWeights weights;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(container::kFrameBufferBytes);
};

PreviewPass::PreviewPass(RunObserver& observer) : observer_(observer) {}
PreviewPass::~PreviewPass() = default;

MarkerList* PreviewPass::markers() { return state_ ? &state_->markers : nullptr; }

void PreviewPass::close() {
  state_.reset();
  path_.clear();
}

int PreviewPass::preview(const settings::StampSettings& settings, const std::string& path, int frameIndex,
                         PreviewFrame& out, bool drawCodes) {
  RunLog log(&observer_);
  if (!state_ || path != path_) {
    close();
    auto state = std::make_unique<State>();
    int error = 0;
    const container::OpenOutcome opened = container::openDvSource(path, state->source, error);
    if (opened == container::OpenOutcome::EmptyPath || opened == container::OpenOutcome::CannotOpen) return -2;
    log.add(formatMessage("预览前检查录像文件 %s ...", path.c_str()));
    if (opened != container::OpenOutcome::Opened) {
      log.add(container::openFailureMessage(opened, path, error));
      return -1;
    }
    state->source->setRandomAccess(true);
    if (state->source->validateHeader(nullptr, &log) != container::HeaderOutcome::Valid) return -1;
    state->markers.load(markerPathFor(path));
    state->info = dv::DvFrameInfo{};
    log.add(formatMessage("开始预览 %s ...", path.c_str()));
    state_ = std::move(state);
    path_ = path;
  }
  State& st = *state_;
  const int last = st.source->lastFrameIndex();
  if (frameIndex > last) frameIndex = last;
  if (frameIndex < 1) frameIndex = 0;

  size_t length = 0;
  const size_t offset = st.source->frameOffset();
  const bool read = st.source->readFrame(st.info, nullptr, st.buffer.data(), length, frameIndex, &log) ==
                        container::ReadOutcome::Frame &&
                    length > offset;
  // The frame is shown in the layout its own header names; one Kelo cannot decode is unreadable.
  st.info.profile = read ? dv::profileForFrame(st.buffer.data() + offset, length - offset) : nullptr;
  if (!st.info.profile) {
    log.add(formatMessage("读不出第 %d 帧图像。", frameIndex));
    close();
    return -1;
  }
  // The preview works on a copy: it draws as when no run is in progress.
  settings::StampSettings s = settings;
  s.idle = true;
  dv::DvFrameInfo& info = st.info;
  uint8_t* frame = st.buffer.data() + offset;
  const int status = dv::readRecordedDateTime(info, render::dateTimeReadOptions(s), frame, length - offset);
  if (!render::timeFormatTraits(s.timeCode.formatIndex).tapeTimecode) {
    if (status & dv::kStatusDateUnset)
      log.add("*** 此帧图像不带有效日期码。");
    else if (status & dv::kStatusTimeUnset)
      log.add("*** 此帧图像不带有效时间码。");
    else if (status & dv::kStatusNoPacks)
      log.add("*** 此帧图像不带日期/时间码。");
  } else {
    showTimecodeAsTime(info, s, frameIndex);
  }
  info.dateDrawnBefore = 0;
  info.timeDrawnBefore = 0;
  info.hasDate = info.hasDate && s.dateCode.enabled && drawCodes;
  info.hasTime = info.hasTime && s.timeCode.enabled && drawCodes;
  st.weights = pipeline::CodeWeights{};
  if (st.stamper.stampFrame(info, s, st.weights, frame, pipeline::PipelineMode::Preview, &out.image) != 0) {
    log.add(formatMessage("读不出第 %d 帧图像。", frameIndex));
    close();
    return -1;
  }
  out.info = info;
  out.lastFrameIndex = last;
  out.profile = info.profile;
  out.frameIndex = frameIndex;
  return 0;
}

}  // namespace kelo::engine
