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
#include "../dv/codec_media.h"

namespace kelo::pipeline {
namespace {

using test::TempDir;

// One raw DV frame of FFmpeg's test source.
std::vector<uint8_t> ffmpegFrame(const dv::VideoProfile& profile) {
  TempDir dir;
  const std::string path = dir.file("f.dv");
  const std::string cmd = "ffmpeg -v error -f lavfi -i testsrc=size=" + test::ffmpegSize(profile) +
                          ":rate=" + test::ffmpegRate(profile) + " -frames:v 1 -pix_fmt " +
                          test::ffmpegPixelFormat(profile);
  if (test::runCommand(cmd + " -c:v dvvideo -f dv -y " + test::shellQuote(path)).exitCode != 0) return {};
  return test::readFile(path);
}

dv::DvFrameInfo infoFor(const dv::VideoProfile& profile) {
  dv::DvFrameInfo info;
  info.profile = &profile;
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
  const std::vector<uint8_t> original = ffmpegFrame(test::ntscProfile());
  ASSERT_EQ(original.size(), 120000u);
  Paint setup;
  // Inside the ordinary 525/60 macroblock at x 96..127, y 16..23.
  const render::OverlayRaster raster = solidRaster(100, 17, 10, 6);
  std::vector<uint8_t> frame = original;
  FramePipeline pipeline;
  const int n = pipeline.stampFrame(infoFor(test::ntscProfile()), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                    PipelineMode::Stamp, nullptr);
  EXPECT_EQ(n, 1);
  const auto changed = changedSegments(original, frame, 10);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_NE(changed.begin()->first, -1);

  // The painted samples are bright, their neighbours as before.
  dv::Picture before, after;
  ASSERT_EQ(dv::decodeFrame(original.data(), original.size(), test::ntscProfile(), before), 0);
  ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), test::ntscProfile(), after), 0);
  EXPECT_NEAR(after.y[20 * 720 + 105], 128 + 110, 12);
  EXPECT_NEAR(after.y[20 * 720 + 90], before.y[20 * 720 + 90], 2);
}

// What is re-encoded follows the text's cells, not the rectangle around them, and a blend that
// changes no sample (a fade at zero) re-encodes nothing.
TEST(FramePipeline, TextCellsNotTheirRectangleDecideWhatIsReencoded) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(test::palProfile());
  ASSERT_EQ(original.size(), 144000u);
  Paint setup;
  // Four 16 x 16 macroblocks side by side, four segments; cells only over the first one.
  render::OverlayRaster raster = solidRaster(96, 192, 64, 16);
  for (int v = 0; v < 16; ++v)
    for (int u = 16; u < 64; ++u) raster.cells[static_cast<size_t>(v) * 64 + static_cast<size_t>(u)] = 0;
  std::vector<uint8_t> frame = original;
  FramePipeline pipeline;
  EXPECT_EQ(1, pipeline.stampFrame(infoFor(test::palProfile()), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                   PipelineMode::Stamp, nullptr));
  EXPECT_EQ(1u, changedSegments(original, frame, 12).size());

  for (int i = 0; i < 4; ++i) {
    setup.weights.effNewWeight[i] = 0;
    setup.weights.effOldWeight[i] = 1;
  }
  frame = original;
  FramePipeline faded;
  EXPECT_EQ(0, faded.stampFrame(infoFor(test::palProfile()), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                PipelineMode::Stamp, nullptr));
  EXPECT_EQ(original, frame);
}

TEST(FramePipeline, RightEdgeOf525UsesTheSquareMacroblocks) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(test::ntscProfile());
  ASSERT_EQ(original.size(), 120000u);
  Paint setup;
  FramePipeline pipeline;
  const dv::DvFrameInfo info = infoFor(test::ntscProfile());
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
  for (const dv::VideoProfile* profile : {&test::palProfile(), &test::ntscProfile(), &test::pal411Profile()}) {
    std::vector<uint8_t> frame = ffmpegFrame(*profile);
    ASSERT_FALSE(frame.empty());
    const std::vector<uint8_t> original = frame;
    Paint setup;
    FramePipeline pipeline;
    dv::DvFrameInfo info = infoFor(*profile);
    info.hasTime = 0;
    RgbImage plain;
    ASSERT_EQ(pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(setup.empty),
                                  PipelineMode::Preview, &plain),
              0);
    EXPECT_EQ(frame, original);
    dv::Picture picture;
    ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), *profile, picture), 0);
    std::vector<uint8_t> rgb;
    dv::pictureToRgb(picture, rgb);
    ASSERT_EQ(plain.pixels.size(), rgb.size());
    size_t far = 0;
    for (size_t i = 0; i < rgb.size(); ++i)
      if (std::abs(int(rgb[i]) - int(plain.pixels[i])) > 2) ++far;
    EXPECT_LT(far, rgb.size() / 1000) << profile->name;

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
  const std::vector<uint8_t> original = ffmpegFrame(test::palProfile());
  ASSERT_EQ(original.size(), 144000u);
  Paint setup;
  FramePipeline pipeline;
  dv::DvFrameInfo info = infoFor(test::palProfile());
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
  ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), test::palProfile(), after), 0);
  EXPECT_GT(after.y[115 * 720 + 150], 200);
}

// A pipeline carried from frame to frame writes what a fresh one writes, whatever changed between
// the frames: the cells inside the same rectangle, a code left out and back, the other code.
TEST(FramePipeline, ReusedPipelineWritesWhatAFreshOneWrites) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(test::palProfile());
  ASSERT_EQ(original.size(), 144000u);
  Paint setup;
  const render::OverlayRaster wide = solidRaster(200, 400, 120, 24);
  render::OverlayRaster narrow = wide;  // same rectangle, cells only in its left third
  for (int v = 0; v < 24; ++v)
    for (int u = 40; u < 120; ++u) narrow.cells[static_cast<size_t>(v) * 120 + static_cast<size_t>(u)] = 0;
  const render::OverlayRaster date = solidRaster(64, 96, 80, 20);
  struct Step {
    const char* what;
    const render::OverlayRaster* date;  // nullptr: no date this frame
    const render::OverlayRaster* time;
  };
  const Step steps[] = {
      {"first frame", &date, &wide},
      {"same texts", &date, &wide},
      {"fewer cells, same rectangle", &date, &narrow},
      {"more cells again", &date, &wide},
      {"date left out, time changed", nullptr, &narrow},
      {"date back as it was", &date, &narrow},
  };
  FramePipeline reused;
  dv::DvFrameInfo info = infoFor(test::palProfile());
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    info.hasDate = step.date != nullptr;
    const OverlayLayer dateLayer = setup.layer(step.date ? *step.date : setup.empty);
    std::vector<uint8_t> frame = original, expected = original;
    const OverlayLayer timeLayer = setup.layer(*step.time);
    const int n = reused.stampFrame(info, frame.data(), dateLayer, timeLayer, PipelineMode::Stamp, nullptr);
    FramePipeline fresh;
    EXPECT_EQ(n, fresh.stampFrame(info, expected.data(), dateLayer, timeLayer, PipelineMode::Stamp, nullptr));
    EXPECT_TRUE(frame == expected);
    // Later frames claim the second and date of the frame before: only the rasters tell what changed.
    info.previousSecondsOfDay = info.secondsOfDay;
    info.previousDateKey = info.dateKey;
    info.timeDrawnBefore = 1;
    info.dateDrawnBefore = info.hasDate;
  }
}

// A raster whose cells stop short of its rectangle (fewer rows, or a stride narrower than its
// width) is painted as far as its cells go and never read beyond them.
TEST(FramePipeline, CellsShorterThanTheirRectangleAreReadOnlyAsFarAsTheyGo) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> original = ffmpegFrame(test::palProfile());
  ASSERT_EQ(original.size(), 144000u);
  Paint setup;
  render::OverlayRaster shortRows = solidRaster(200, 300, 40, 24);
  shortRows.cells.resize(40 * 10);  // cells for 10 of its 24 rows
  shortRows.cells.shrink_to_fit();
  render::OverlayRaster narrow = solidRaster(200, 300, 40, 24);
  narrow.stride = 20;  // 24 rows of 20 cells, under a rectangle 40 wide
  narrow.cells.resize(20 * 24);
  narrow.cells.shrink_to_fit();
  for (const render::OverlayRaster* raster : {&shortRows, &narrow}) {
    std::vector<uint8_t> frame = original;
    FramePipeline pipeline;
    EXPECT_GT(pipeline.stampFrame(infoFor(test::palProfile()), frame.data(), setup.layer(setup.empty),
                                  setup.layer(*raster), PipelineMode::Stamp, nullptr),
              0);
    dv::Picture after;
    ASSERT_EQ(dv::decodeFrame(frame.data(), frame.size(), test::palProfile(), after), 0);
    EXPECT_GT(after.y[305 * 720 + 210], 200);
  }
}

// Every layout through the same check: a stamped frame differs from its input only in the video
// segments under the text, FFmpeg decodes it without a complaint, and FFmpeg sees the text where
// it was drawn and the rest of the picture as before.
TEST(FramePipeline, StampedFrameOfEveryLayoutDecodesInFfmpegWithTheTextInPlace) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  for (const dv::VideoProfile* profile : {&test::palProfile(), &test::ntscProfile(), &test::pal411Profile()}) {
    SCOPED_TRACE(profile->name);
    const std::vector<uint8_t> original = ffmpegFrame(*profile);
    ASSERT_EQ(original.size(), size_t(profile->frameBytes));
    Paint setup;
    FramePipeline pipeline;
    std::vector<uint8_t> frame = original;
    // Near the bottom right, across the right-edge macroblocks of the 4:1:1 layouts.
    const int top = profile->height - 60;
    const render::OverlayRaster raster = solidRaster(600, top, 116, 24);
    ASSERT_GT(pipeline.stampFrame(infoFor(*profile), frame.data(), setup.layer(setup.empty), setup.layer(raster),
                                  PipelineMode::Stamp, nullptr),
              0);
    EXPECT_EQ(changedSegments(original, frame, profile->sequenceCount).count({-1, -1}), 0u);

    TempDir dir;
    auto ffmpegLuma = [&](const std::vector<uint8_t>& bytes, const char* name) {
      const std::string in = dir.file(std::string(name) + ".dv"), out = dir.file(std::string(name) + ".yuv");
      EXPECT_TRUE(test::writeFile(in, bytes));
      const auto r = test::runCommand("ffmpeg -nostdin -v error -i " + test::shellQuote(in) + " -f rawvideo -pix_fmt " +
                                      test::ffmpegPixelFormat(*profile) + " -y " + test::shellQuote(out));
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(r.output, "") << name;
      std::vector<uint8_t> yuv = test::readFile(out);
      yuv.resize(size_t(profile->width) * size_t(profile->height));
      return yuv;
    };
    const std::vector<uint8_t> before = ffmpegLuma(original, "before");
    const std::vector<uint8_t> after = ffmpegLuma(frame, "after");
    for (int y : {top + 2, top + 12, top + 21})
      for (int x : {602, 660, 705, 714}) EXPECT_GT(after[size_t(y) * 720 + size_t(x)], 200) << x << "," << y;
    // Away from the text (a macroblock row above it) the picture is as it was.
    const auto away = test::codec::comparePlanes(before.data(), after.data(), size_t(720) * size_t(top - 16));
    EXPECT_LE(away.maxDiff, 0);
  }
}

// A file may change layout between frames: what the previous frame's layout touched says nothing
// about the segments of the next.
TEST(FramePipeline, ALayoutChangeRetestsEverySegment) {
  if (!test::haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  const std::vector<uint8_t> pal = ffmpegFrame(test::palProfile());
  const std::vector<uint8_t> pal411 = ffmpegFrame(test::pal411Profile());
  ASSERT_FALSE(pal.empty());
  ASSERT_FALSE(pal411.empty());
  Paint setup;
  const render::OverlayRaster raster = solidRaster(300, 500, 200, 30);
  FramePipeline fresh;
  std::vector<uint8_t> frame = pal411;
  const int expected = fresh.stampFrame(infoFor(test::pal411Profile()), frame.data(), setup.layer(setup.empty),
                                        setup.layer(raster), PipelineMode::Stamp, nullptr);
  ASSERT_GT(expected, 0);

  FramePipeline pipeline;
  dv::DvFrameInfo info = infoFor(test::palProfile());
  frame = pal;
  ASSERT_GT(pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(raster), PipelineMode::Stamp,
                                nullptr),
            0);
  // The same text in the same second, drawn before; only the layout differs.
  info.profile = &test::pal411Profile();
  info.previousSecondsOfDay = info.secondsOfDay;
  info.timeDrawnBefore = 1;
  frame = pal411;
  EXPECT_EQ(pipeline.stampFrame(info, frame.data(), setup.layer(setup.empty), setup.layer(raster), PipelineMode::Stamp,
                                nullptr),
            expected);
}

}  // namespace
}  // namespace kelo::pipeline
