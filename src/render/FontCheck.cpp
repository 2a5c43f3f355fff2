#include "render/FontCheck.h"

#include "dv/VideoProfile.h"
#include "platform/Text.h"
#include "render/StampText.h"
#include "render/TextRasteriser.h"

namespace kelo::render {

std::optional<UndrawableCode> findUndrawableCode(const settings::StampSettings& settings) {
  // A recording time whose names are long in most languages (Sunday, June).
  dv::DvFrameInfo info;
  info.profile = &dv::profileOf(dv::VideoSystem::k625_50);
  info.hasDate = 1;
  info.hasTime = 1;
  info.recorded.tm_year = 103;
  info.recorded.tm_mon = 5;
  info.recorded.tm_mday = 22;
  info.recorded.tm_wday = 0;
  info.recorded.tm_hour = 21;
  info.recorded.tm_min = 50;
  info.recorded.tm_sec = 38;
  TextRasteriser rasteriser;
  for (const bool date : {true, false}) {
    const settings::StampCodeSettings& code = date ? settings.dateCode : settings.timeCode;
    if (!code.enabled) continue;
    const StampText text = date ? formatDateText(info, settings) : formatTimeText(info, settings);
    if (!rasteriser.canDraw(text.text, code)) return UndrawableCode{date, settings::textOf(code.font.lfFaceName)};
  }
  return std::nullopt;
}

std::string undrawableCodeMessage(const UndrawableCode& code) {
  return std::string("找不到能显示") + (code.dateCode ? "日期码" : "时间码") + "的字体（" +
         platform::toUtf8(code.face) + "），没法加码。";
}

}  // namespace kelo::render
