#include "ui/FormatComboHandlers.h"

#include <QDialog>

#include "render/StampText.h"
#include "ui/CustomFormatDialog.h"

namespace kelo::ui {

namespace {

// The custom entry: edit the code's copy of `slot`, keep it on OK, classify it either way.
bool editCustomFormat(settings::StampSettings& settings, settings::StampCodeSettings& code,
                      char16_t (&slot)[settings::kFormatCapacity], engine::Prompter& prompter,
                      QWidget* parent, const HelpHandler& help, const FormatDialogRunner& run) {
  if (code.formatIndex != 0) return false;
  settings::setText(code.customFormat, settings::textOf(slot));
  bool accepted = false;
  {
    CustomFormatDialog dialog(settings, code, prompter, parent);
    if (help) QObject::connect(&dialog, &CustomFormatDialog::helpRequested, &dialog, help);
    accepted = (run ? run(dialog) : dialog.exec()) == QDialog::Accepted;
  }
  if (accepted) {
    settings.projectModified = true;
    settings::setText(slot, settings::textOf(code.customFormat));
  } else {
    // The dialog writes nothing on Cancel, but keep the code's copy equal to the slot anyway.
    settings::setText(code.customFormat, settings::textOf(slot));
  }
  const render::FormatFields fields = render::analyseCustomFormat(settings::textOf(code.customFormat));
  code.customHasDate = fields.hasDate;
  code.customHasTime = fields.hasTime;
  return accepted;
}

}  // namespace

bool onDateFormatChanged(settings::StampSettings& settings, engine::Prompter& prompter, QWidget* parent,
                         const HelpHandler& help, const FormatDialogRunner& run) {
  const int slot = settings::customDateSlot(settings.language);
  return editCustomFormat(settings, settings.dateCode, settings.customDateFormats[slot], prompter, parent, help,
                          run);
}

bool onTimeFormatChanged(settings::StampSettings& settings, engine::Prompter& prompter, QWidget* parent,
                         const HelpHandler& help, const FormatDialogRunner& run) {
  return editCustomFormat(settings, settings.timeCode, settings.customTimeFormat, prompter, parent, help, run);
}

}  // namespace kelo::ui
