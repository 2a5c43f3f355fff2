#pragma once
// What the main window does when the date format combo (1010) or the time format combo (1011)
// changes its selection. The window first reads its controls into the settings (so the code's
// `formatIndex` is the new selection), calls the handler, and refreshes the preview afterwards.
#include <functional>

#include "engine/RunObserver.h"
#include "settings/StampSettings.h"

class QWidget;

namespace kelo::ui {

class CustomFormatDialog;

// Runs the custom format dialog modally; returns QDialog::Accepted or Rejected. The default runs
// `exec()`; tests pass one that answers for the user.
using FormatDialogRunner = std::function<int(CustomFormatDialog& dialog)>;
// Opens the help page of a context number (the dialog's Help button); may be empty.
using HelpHandler = std::function<void(int context)>;

// For the custom entry (formatIndex 0): copies the language's custom slot into the code, runs the
// custom format dialog, on OK marks the project modified and copies the text back into the slot,
// and in either case recomputes `customHasDate` / `customHasTime`. Does nothing for other entries.
// Returns true when the dialog ended with OK.
bool onDateFormatChanged(settings::StampSettings& settings, engine::Prompter& prompter,
                         QWidget* parent, const HelpHandler& help = {},
                         const FormatDialogRunner& run = {});
bool onTimeFormatChanged(settings::StampSettings& settings, engine::Prompter& prompter,
                         QWidget* parent, const HelpHandler& help = {},
                         const FormatDialogRunner& run = {});

}  // namespace kelo::ui
