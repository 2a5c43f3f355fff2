// The custom format path with any UTF-16 text and any broken-down time: never a crash, never a
// text over the limit, and a line count that matches the text.
#include "render/FormatTables.h"
#include "render/StampText.h"
#include "render/TimeFormatter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int32_t take(const uint8_t*& data, size_t& size) {
  int32_t v = 0;
  const size_t n = size < sizeof v ? size : sizeof v;
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelo;
  // Fields first: small values most of the time, anything now and then.
  std::tm t{};
  const int32_t mode = take(data, size);
  int* fields[] = {&t.tm_sec, &t.tm_min, &t.tm_hour, &t.tm_mday, &t.tm_mon, &t.tm_year, &t.tm_wday};
  for (int* f : fields) {
    const int32_t v = take(data, size);
    *f = (mode & 1) ? v : v % 100;
  }
  const int language = take(data, size) % 40;
  std::u16string format(size / 2, u'\0');
  if (!format.empty()) std::memcpy(format.data(), data, format.size() * 2);

  const std::u16string text = render::formatTime(format, t, render::formatLocale(language));
  if (text.size() > static_cast<size_t>(render::kMaxTextLength)) std::abort();
  (void)render::analyseCustomFormat(format);
  (void)render::toUpperText(text);

  settings::StampSettings s;
  s.language = language;
  s.dateCode.formatIndex = 0;
  s.dateCode.uppercase = (mode & 2) != 0;
  s.timeCode.formatIndex = (mode >> 2) % 16;
  settings::setText(s.customDateFormats[settings::customDateSlot(language)], format);
  settings::setText(s.customTimeFormat, format);
  dv::DvFrameInfo info;
  info.hasDate = info.hasTime = 1;
  info.profile = &kelo::dv::profileAt((mode >> 2) % kelo::dv::kProfileCount);
  info.recorded = t;
  info.frameInSecond = (mode >> 8) % 64;
  for (const render::StampText& st : {render::formatDateText(info, s), render::formatTimeText(info, s)}) {
    if (st.text.size() > static_cast<size_t>(render::kMaxTextLength)) std::abort();
    int lines = 1;
    for (char16_t c : st.text) lines += c == u'\r';
    if (lines != st.lineCount) std::abort();
  }
  return 0;
}
