// The frame pipeline on FFmpeg-made DV frames with hand-made rasters: only the segments under a
// raster change, the preview decodes the whole frame, painting lands where the raster says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "dv/DifLayout.h"
#include "dv/FrameCodec.h"
#include "pipeline/FramePipeline.h"
#include "support/TestUtil.h"

namespace kelo::pipeline {
namespace {

using test::TempDir;

// One raw DV frame of FFmpeg's test source.
std::vector<uint8_t> ffmpegFrame(bool pal) {
  TempDir dir;
  const std::string path = dir.file("f.dv");
  const std::string cmd = pal ? "ffmpeg -v error -f lavfi -i testsrc=size=720x576:rate=25 -frames:v 1 -pix_fmt yuv420p"
                              : "ffmpeg -v error -f lavfi -i testsrc=size=720x480:rate=30000/1001 -frames:v 1 -pix_fmt yuv411p";
  if (test::runCommand(cmd + " -c:v dvvideo -f dv -y " + test::shellQuote(path)).exitCode != 0) return {};
  return test::readFile(path);
}

dv::DvFrameInfo infoFor(bool pal) {
  dv::DvFrameInfo info;
  info.system = pal ? dv::kSystem625_50 : dv::kSystem525_60;
  info.sequenceCount = pal ? 12 : 10;
  info.hasTime = 1;
  info.previousSecondsOfDay = -1;
  info.previousDateKey = -1;
  return info;
}

// A solid block of glyph cells over [left, right) x [top, bottom).
render::OverlayRaster solidRaster(int left, int top, int width, int rows) {
  render::OverlayRaster r;
  r.stride = static_cast<int16_t>(width);
  r.width = static_cast<int16_t>(width);
  r.rows = static_cast<int16_t>(rows);
  r.cells.assign(static_cast<size_t>(width) * rows, 255);
  r.left = static_cast<int16_t>(left);
  r.top = static_cast<int16_t>(top);
  r.right = static_cast<int16_t>(left + width);
  r.bottom = static_cast<int16_t>(top + rows);
  return r;
}

struct Paint {
  settings::StampSettings settings;
  render::OverlayWeights weights;
  render::OverlayRaster empty;
  Paint() {
    render::setFullWeights(weights);
    render::applyTransparency(weights, 0);
    settings.timeCode.fontBrightness = 220;
  }
  OverlayLayer layer(const render::OverlayRaster& r) { return {&r, &settings.timeCode, &weights}; }
};

// Bytes of `a` and `b` that differ, as (sequence, segment) of the video segments they fall in,
// or {-1, -1} for a byte outside every video segment.
std::set<std::pair<int, int>> changedSegments(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int seqs) {
  std::set<std::pair<int, int>> out;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    bool found = false;
    for (int s = 0; s < seqs && !found; ++s)
      for (int k = 0; k < 27 && !found; ++k) {
        const size_t o = dv::segmentOffset(s, k);
        if (i >= o && i < o + 400) out.insert({s, k}), found = true;
      }
    if (!found) out.insert({-1, -1});
  }
  return out;
}

TEST(FramePipeline, StampsOnlyTheSegmentUnderASmallRaster) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(false);
  ASSERT_EQ(original.size(), 120000u);
  Paint setup;
  // Inside the ordinary 525/60 macroblock at x 96..127, y 16..23.
  const render::OverlayRaster raster = solidRaster(100, 17, 10, 6);
  std::vector<uint8_t> frame = original;
  FramePipeline pipeline;
  const int n = pipeline.stampFrame(infoFor(false), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                    PipelineMode::Stamp, nullptr);
  EXPECT_EQ(n, 1);
  const auto changed = changedSegments(original, frame, 10);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_NE(changed.begin()->first, -1);

  // The painted samples are bright, their neighbours as before.
  dv::Picture before, after;
  ASSERT_EQ(dv::decodeFrame(original.data(), original.size(), 1, before), 0);
  ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), 1, after), 0);
  EXPECT_NEAR(after.y[20 * 720 + 105], 128 + 110, 12);
  EXPECT_NEAR(after.y[20 * 720 + 90], before.y[20 * 720 + 90], 2);
}

// What is re-encoded follows the text's cells, not the rectangle around them, and a blend that
// changes no sample (a fade at zero) re-encodes nothing.
TEST(FramePipeline, TextCellsNotTheirRectangleDecideWhatIsReencoded) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(true);
  ASSERT_EQ(original.size(), 144000u);
  Paint setup;
  // Four 16 x 16 macroblocks side by side, four segments; cells only over the first one.
  render::OverlayRaster raster = solidRaster(96, 192, 64, 16);
  for (int v = 0; v < 16; ++v)
    for (int u = 16; u < 64; ++u) raster.cells[static_cast<size_t>(v) * 64 + static_cast<size_t>(u)] = 0;
  std::vector<uint8_t> frame = original;
  FramePipeline pipeline;
  EXPECT_EQ(1, pipeline.stampFrame(infoFor(true), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                   PipelineMode::Stamp, nullptr));
  EXPECT_EQ(1u, changedSegments(original, frame, 12).size());

  for (int i = 0; i < 4; ++i) {
    setup.weights.effNewWeight[i] = 0;
    setup.weights.effOldWeight[i] = 1;
  }
  frame = original;
  FramePipeline faded;
  EXPECT_EQ(0, faded.stampFrame(infoFor(true), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                PipelineMode::Stamp, nullptr));
  EXPECT_EQ(original, frame);
}

TEST(FramePipeline, RightEdgeOf525UsesTheSquareMacroblocks) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(false);
  ASSERT_EQ(original.size(), 120000u);
  Paint setup;
  FramePipeline pipeline;
  const dv::DvFrameInfo info = infoFor(false);
  // x = 704 and beyond: the 16 x 16 macroblock at y 0..15 covers rows 0..15, so rows 9..12 are one
  // macroblock; x = 696..703 is an ordinary 32 x 8 macroblock.
  const render::OverlayRaster edge = solidRaster(706, 9, 4, 4);
  const render::OverlayRaster inner = solidRaster(697, 9, 4, 4);
  bool touched = false;
  int masks = 0;
  pipeline.beginFrame(info, setup.layer(setup.empty), setup.layer(edge));
  for (int s = 0; s < 10; ++s)
    for (int k = 0; k < 27; ++k)
      if (pipeline.segmentTouchesOverlay(info, s, k, setup.layer(setup.empty), setup.layer(edge))) {
        touched = true;
        ++masks;
        const SegmentMask& m = pipeline.timeMask();
        for (int b = 0; b < 5; ++b)
          if (m.macroblocks >> b & 1) {
            EXPECT_GE(k, 24);
            EXPECT_EQ(m.firstRow[b], 9);
            EXPECT_EQ(m.endRow[b], 13);
            EXPECT_EQ(m.firstColumn[b], 2);
            EXPECT_EQ(m.endColumn[b], 6);
          }
      }
  EXPECT_TRUE(touched);
  EXPECT_EQ(masks, 1);
  pipeline.beginPass();
  pipeline.beginFrame(info, setup.layer(setup.empty), setup.layer(inner));
  for (int s = 0; s < 10; ++s)
    for (int k = 0; k < 27; ++k)
      if (pipeline.segmentTouchesOverlay(info, s, k, setup.layer(setup.empty), setup.layer(inner))) {
        const SegmentMask& m = pipeline.timeMask();
        for (int b = 0; b < 5; ++b)
          if (m.macroblocks >> b & 1) {
            EXPECT_EQ(m.firstRow[b], 1);  // the 32 x 8 macroblock at y 8..15
            EXPECT_EQ(m.endRow[b], 5);
            EXPECT_EQ(m.firstColumn[b], 697 - 672);
          }
      }
}

TEST(FramePipeline, PreviewMatchesTheWholeFrameDecoderAndShowsTheText) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  for (bool pal : {true, false}) {
    std::vector<uint8_t> frame = ffmpegFrame(pal);
    ASSERT_FALSE(frame.empty());
    const std::vector<uint8_t> original = frame;
    Paint setup;
    FramePipeline pipeline;
    dv::DvFrameInfo info = infoFor(pal);
    info.hasTime = 0;
    RgbImage plain;
    ASSERT_EQ(pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(setup.empty),
                                  PipelineMode::Preview, &plain),
              0);
    EXPECT_EQ(frame, original);
    dv::Picture picture;
    ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), info.system, picture), 0);
    std::vector<uint8_t> rgb;
    dv::pictureToRgb(picture, rgb);
    ASSERT_EQ(plain.pixels.size(), rgb.size());
    size_t far = 0;
    for (size_t i = 0; i < rgb.size(); ++i)
      if (std::abs(int(rgb[i]) - int(plain.pixels[i])) > 2) ++far;
    EXPECT_LT(far, rgb.size() / 1000) << (pal ? "625/50" : "525/60");

    info.hasTime = 1;
    const render::OverlayRaster raster = solidRaster(300, 200, 40, 20);
    RgbImage stamped;
    pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(raster), PipelineMode::Preview,
                        &stamped);
    const uint8_t* px = &stamped.pixels[(210 * 720 + 320) * 3];
    EXPECT_GT(px[0] + px[1] + px[2], 3 * 200);
    EXPECT_EQ(frame, original);
  }
}

TEST(FramePipeline, UnchangedTextSkipsUntouchedSegmentsButAMovedRasterIsFollowed) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(true);
  ASSERT_EQ(original.size(), 144000u);
  Paint setup;
  FramePipeline pipeline;
  dv::DvFrameInfo info = infoFor(true);
  render::OverlayRaster raster = solidRaster(400, 480, 100, 30);
  std::vector<uint8_t> frame = original;
  const int first = pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                        PipelineMode::Stamp, nullptr);
  EXPECT_GT(first, 0);
  // Same second, drawn before: the same segments again.
  info.previousSecondsOfDay = info.secondsOfDay;
  info.timeDrawnBefore = 1;
  frame = original;
  EXPECT_EQ(pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                PipelineMode::Stamp, nullptr),
            first);
  // Same second but the raster moved (a wider frame-number text): its new segments are stamped.
  raster = solidRaster(100, 100, 100, 30);
  frame = original;
  EXPECT_GT(pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                PipelineMode::Stamp, nullptr),
            0);
  const auto changed = changedSegments(original, frame, 12);
  EXPECT_EQ(changed.count({-1, -1}), 0u);
  dv::Picture after;
  ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), 2, after), 0);
  EXPECT_GT(after.y[115 * 720 + 150], 200);
}

}  // namespace
}  // namespace kelo::pipeline
