#include "render/FormatTables.h"

namespace kelo::render {

const std::array<std::u16string_view, kLanguageCount> kLocaleNames = {
    u"english",  u"chs",       u"english", u"C",        u"albanian",   u"bulgarian", u"catalan",
    u"czech",    u"danish",    u"dutch",   u"finnish",  u"french",     u"german",    u"greek",
    u"hungarian", u"icelandic", u"italian", u"japanese", u"korean",     u"norwegian", u"polish",
    u"portuguese", u"romanian", u"russian", u"slovak",   u"spanish",    u"swedish",   u"turkish",
};

const std::array<const char*, kLanguageCount> kIcuLocaleIds = {
    "en_US", "zh_CN", "en_US", "en_US_POSIX", "sq_AL", "bg_BG", "ca_ES",
    "cs_CZ", "da_DK", "nl_NL", "fi_FI",       "fr_FR", "de_DE", "el_GR",
    "hu_HU", "is_IS", "it_IT", "ja_JP",       "ko_KR", "nb_NO", "pl_PL",
    "pt_BR", "ro_RO", "ru_RU", "sk_SK",       "es_ES", "sv_SE", "tr_TR",
};

const std::array<std::array<std::u16string_view, kDateListSlots>, kDateListCount> kDateFormatLists = {{
    {u"%Y-%m-%d\\n%#I:%M:%S%p", u"%Y-%m-%d", u"%d-%m-%Y", u"%m-%d-%Y", u"%Y.%m.%d", u"%d.%m.%Y", u"%m.%d.%Y",
     u""},
    {u"%#x\\n%#I:%M:%S%p", u"%#x", u"%#x %A", u"", u"", u"", u"", u""},
    {u"%b-%#d-%Y\\n%#I:%M:%S%p", u"%b-%#d-%Y", u"%#d-%b-%Y", u"%b %#d %Y", u"%#d %b %Y", u"%B %#d, %Y",
     u"%a %b %#d, %Y", u"%A %B %#d, %Y"},
    {u"%#x\\n%#I:%M:%S%p", u"%#x", u"%#d %B %Y", u"%#d %b %Y", u"%A %#d %B %Y", u"%A %#d %b %Y",
     u"%a %#d %B %Y", u"%a %#d %b %Y"},
}};

const std::array<int, kDateListCount> kDateListLengths = {7, 3, 8, 8};

const std::array<TimeFormatEntry, kTimeListLength> kTimeFormatList = {{
    {u"", u"自定义格式", TimeSuffix::None, TimeCaseStep::Custom},
    {u"%#H:%M:%S", u"21:50:38", TimeSuffix::None, TimeCaseStep::UpperIfAsked},
    {u"%#H:%M", u"21:50", TimeSuffix::None, TimeCaseStep::UpperIfAsked},
    {u"%#I:%M:%S%p", u"9:50:38pm", TimeSuffix::None, TimeCaseStep::UpperElseLower},
    {u"%#I:%M%p", u"9:50pm", TimeSuffix::None, TimeCaseStep::UpperElseLower},
    {u"%H:%M:%S", u"09:50:38", TimeSuffix::None, TimeCaseStep::UpperIfAsked},
    {u"%H:%M", u"09:50", TimeSuffix::None, TimeCaseStep::UpperIfAsked},
    {u"%I:%M:%S%p", u"09:50:38am", TimeSuffix::None, TimeCaseStep::UpperElseLower},
    {u"%I:%M%p", u"09:50am", TimeSuffix::None, TimeCaseStep::UpperElseLower},
    {u"%#H:%M:%S", u"9:50:38:02", TimeSuffix::Frames, TimeCaseStep::None},
    {u"%H:%M:%S", u"09:50:38:02", TimeSuffix::Frames, TimeCaseStep::None},
    {u"%#H:%M:%S", u"9:50:38.200", TimeSuffix::Milliseconds, TimeCaseStep::None},
    {u"%H:%M:%S", u"09:50:38.200", TimeSuffix::Milliseconds, TimeCaseStep::None},
    {u"%H:%M:%S", u"00:00:00:00", TimeSuffix::Frames, TimeCaseStep::None},
    {u"%H:%M:%S", u"00:00:00", TimeSuffix::None, TimeCaseStep::UpperIfAsked},
}};

}  // namespace kelo::render
