#include "engine/PreviewPass.h"
#include "engine/StampJob.h"

#include <vector>

#include "dv/DifLayout.h"
#include "dv/Packs.h"
#include "dv/VideoProfile.h"
#include "engine/AviChunks.h"
#include "engine/DvAviReader.h"
#include "engine/RunLog.h"
#include "pipeline/FrameStamper.h"
#include "render/TimeFormatTraits.h"

namespace kelo::engine {

struct PreviewPass::State {
  DvAviReader reader;
  dv::DvFrameInfo info;
  pipeline::FrameStamper stamper;
  pipeline::CodeWeights weights;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kFrameBufferBytes);
};

PreviewPass::PreviewPass(RunObserver& observer) : observer_(observer) {}
PreviewPass::~PreviewPass() = default;

MarkerList* PreviewPass::markers() { return state_ ? &state_->reader.markers() : nullptr; }

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
    if (state->reader.open(path) != 0) return -2;
    state->reader.setRandomAccess(true);
    log.add(formatMessage("预览前检查录像文件 %s ...", path.c_str()));
    if (state->reader.validateHeader(nullptr, &log) != 0) return -1;
    state->info = dv::DvFrameInfo{};
    log.add(formatMessage("开始预览 %s ...", path.c_str()));
    state->reader.clearVideoChunkId();
    state_ = std::move(state);
    path_ = path;
  }
  State& st = *state_;
  const int last = st.reader.lastFrameIndex();
  if (frameIndex > last) frameIndex = last;
  if (frameIndex < 1) frameIndex = 0;

  size_t length = 0;
  const int read = st.reader.readFrame(st.info, nullptr, st.buffer.data(), length, frameIndex, &log);
  // The frame is shown in the layout its own header names; one Kelo cannot decode is unreadable.
  st.info.profile = read == 0 && length > 8 ? dv::profileForFrame(st.buffer.data() + 8, length - 8) : nullptr;
  if (read != 0 || !st.info.profile) {
    log.add(formatMessage("读不出第 %d 帧图像。", frameIndex));
    close();
    return -1;
  }
  // The preview works on a copy: it draws as when no run is in progress.
  settings::StampSettings s = settings;
  s.idle = true;
  dv::DvFrameInfo& info = st.info;
  uint8_t* frame = st.buffer.data() + 8;
  const int status = dv::readRecordedDateTime(info, render::dateTimeReadOptions(s), frame, length - 8);
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
