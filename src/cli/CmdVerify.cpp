// kelo-cli verify IN OUT: which DIF blocks and segments of a stamped file differ from its input.
#include <cstring>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "container/Verify.h"

namespace kelo::cli {

void addVerifyCommand(CLI::App& app, int& exitCode) {
  auto* cmd = app.add_subcommand("verify", "compare a stamped file with its input: only video DIF blocks may differ");
  auto input = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  cmd->add_option("IN", *input, "the input file")->required();
  cmd->add_option("OUT", *output, "the stamped file")->required();
  cmd->add_flag("--json", *json, "print the report as JSON");
  cmd->callback([input, output, json, &exitCode] {
    container::VerifyReport r;
    std::string failed;
    if (int rc = container::verifyStamped(*input, *output, r, failed)) {
      std::cerr << "kelo-cli verify: cannot read " << failed << ": " << std::strerror(rc) << "\n";
      exitCode = 2;
      return;
    }
    if (*json) {
      nlohmann::json j;
      j["sizesDiffer"] = r.sizesDiffer;
      j["inputSize"] = r.inputSize;
      j["outputSize"] = r.outputSize;
      j["framesFound"] = r.framesFound;
      j["framesDiffering"] = r.framesDiffering;
      j["videoBlocksDiffering"] = r.videoBlocksDiffering;
      j["segmentsDiffering"] = r.segmentsDiffering;
      j["otherBytesDiffering"] = r.otherBytesDiffering;
      j["onlyVideoDiffers"] = r.onlyVideoDiffers();
      nlohmann::json frames = nlohmann::json::array();
      for (const auto& f : r.frames) frames.push_back({{"frame", f.frame}, {"segments", f.segments}});
      j["frames"] = frames;
      std::cout << j.dump(2) << "\n";
    } else {
      std::cout << "frames in input: " << r.framesFound << "\n"
                << "frames differing: " << r.framesDiffering << "\n"
                << "video DIF blocks differing: " << r.videoBlocksDiffering << "\n"
                << "video segments differing: " << r.segmentsDiffering << "\n"
                << "bytes differing outside video DIF blocks: " << r.otherBytesDiffering << "\n";
      for (const auto& f : r.frames) {
        std::cout << "  frame " << f.frame << ":";
        for (int key : f.segments) std::cout << " " << key / 27 << "/" << key % 27;
        std::cout << "\n";
      }
    }
    if (r.sizesDiffer)
      std::cerr << "kelo-cli verify: sizes differ (" << r.inputSize << " and " << r.outputSize << " bytes)\n";
    if (r.otherBytesDiffering)
      std::cerr << "kelo-cli verify: " << r.otherBytesDiffering << " bytes differ outside video DIF blocks, first at "
                << r.firstOtherOffsets.front() << "\n";
    exitCode = r.onlyVideoDiffers() ? 0 : 1;
  });
}

}  // namespace kelo::cli
