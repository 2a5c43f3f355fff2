#include "engine/StampJob.h"

namespace kelo::engine {

// Placeholder until the AVI reader and writer land: refuses every file.
int runStampJob(const JobContext& context, const std::string& input, std::string&) {
  context.observer.logLine("*** " + input + ": stamping is not built yet");
  return kJobFailed;
}

}  // namespace kelo::engine
