// kelo-cli project new|show|set: write a default project, print every field as JSON, change
// fields by their dotted names. `set` is all-or-nothing: the file is rewritten only when every
// assignment and the resulting record are valid.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "platform/Text.h"
#include "settings/ProjectFile.h"
#include "settings/SettingsFields.h"
#include "settings/StampSettings.h"

namespace kelo::cli {

namespace {

using settings::StampSettings;

int fail(const std::u16string& message) {
  std::cerr << "error: " << platform::toUtf8(message) << "\n";
  return 1;
}

nlohmann::ordered_json settingsJson(const StampSettings& s) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  for (const auto& field : settings::settingsFields()) {
    std::string pointer = "/" + field.name;
    for (char& c : pointer)
      if (c == '.') c = '/';
    const nlohmann::ordered_json::json_pointer at(pointer);
    if (field.kind == settings::FieldKind::Text) {
      std::u16string text;
      settings::getText(s, field.name, text);
      j[at] = platform::toUtf8(text);
    } else {
      int32_t value = 0;
      settings::getNumber(s, field.name, value);
      j[at] = value;
    }
  }
  return j;
}

int runNew(const std::string& path) {
  const StampSettings defaults;
  std::u16string message;
  return settings::saveProjectFile(path, defaults, message) == settings::SaveOutcome::Saved ? 0 : fail(message);
}

int runShow(const std::string& path) {
  StampSettings s;
  std::u16string message;
  if (settings::loadProjectFile(path, s, message) != settings::LoadOutcome::Loaded) return fail(message);
  std::cout << settingsJson(s).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  return 0;
}

int runSet(const std::string& path, const std::vector<std::string>& assignments) {
  StampSettings s;
  std::u16string message;
  if (settings::loadProjectFile(path, s, message) != settings::LoadOutcome::Loaded) return fail(message);
  for (const std::string& assignment : assignments) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
      return fail(platform::fromUtf8("expected key=value, got \"" + assignment + "\""));
    if (settings::setFieldFromString(s, assignment.substr(0, eq), assignment.substr(eq + 1), message) != 0)
      return fail(message);
  }
  if (settings::validateSettings(s, message) != 0 || settings::validateFadeLengths(s, message) != 0)
    return fail(message);
  return settings::saveProjectFile(path, s, message) == settings::SaveOutcome::Saved ? 0 : fail(message);
}

}  // namespace

void addProjectCommand(CLI::App& app, int& exitCode) {
  CLI::App* project = app.add_subcommand("project", "Write, print or change a project file (.zev)");
  project->require_subcommand(1);

  auto path = std::make_shared<std::string>();
  auto assignments = std::make_shared<std::vector<std::string>>();

  CLI::App* create = project->add_subcommand("new", "Write a project holding the default settings");
  create->add_option("file", *path, "Project file to write")->required();
  create->callback([&exitCode, path] { exitCode = runNew(*path); });

  CLI::App* show = project->add_subcommand("show", "Print every field of a project as JSON");
  show->add_option("file", *path, "Project file to read")->required();
  show->callback([&exitCode, path] { exitCode = runShow(*path); });

  CLI::App* set = project->add_subcommand(
      "set", "Change fields by name (language=0 dateCode.transparency=50 timeCode.font.lfFaceName=Arial)");
  set->add_option("file", *path, "Project file to change")->required();
  set->add_option("assignments", *assignments, "key=value pairs")->required();
  set->callback([&exitCode, path, assignments] { exitCode = runSet(*path, *assignments); });
}

}  // namespace kelo::cli
