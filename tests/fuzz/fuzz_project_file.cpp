// Fuzzes the project file reader from bytes. Whatever it accepts must be written back and read
// again to the same settings; whatever it refuses must leave the settings untouched.
// An input whose first byte is odd is a list of (offset low, offset high, value) patches on a
// default project file, so the fuzzer reaches the field checks without a seed corpus.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "settings/ProjectFile.h"
#include "settings/SettingsFields.h"
#include "settings/StampSettings.h"

using namespace kelo::settings;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> patched;
  if (size > 0 && (data[0] & 1)) {
    patched = projectFileBytes(StampSettings{});
    for (size_t i = 1; i + 2 < size; i += 3)
      patched[(data[i] | data[i + 1] << 8) % patched.size()] = data[i + 2];
    data = patched.data();
    size = patched.size();
  }
  StampSettings settings;
  settings.dateCode.transparency = 33;  // something a load must replace or keep
  const StampSettings before = settings;
  std::u16string message;
  const LoadOutcome rc = parseProjectFile(std::span<const uint8_t>(data, size), settings, message, u"fuzz.zev");
  if (rc != LoadOutcome::Loaded) {
    if (!(settings == before) || message.empty()) std::abort();
    return 0;
  }
  if (validateSettings(settings, message) != 0) std::abort();
  StampSettings again;
  if (parseProjectFile(projectFileBytes(settings), again, message) != LoadOutcome::Loaded) std::abort();
  if (!(again == settings)) std::abort();
  return 0;
}
