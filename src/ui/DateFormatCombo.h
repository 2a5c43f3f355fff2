#pragma once
// The date format combo box of the main window. Its items are added by the window (one per entry
// of the current language's date list; their texts are not shown): each item is drawn from its
// index as the sample that the date format gives for 22 June 2003, item 0 as "自定义格式".
#include <QComboBox>
#include <QString>

#include "settings/StampSettings.h"

namespace kelo::ui {

class DateFormatCombo : public QComboBox {
  Q_OBJECT

 public:
  // The samples follow `settings.language` at the time they are drawn.
  explicit DateFormatCombo(const settings::StampSettings& settings, QWidget* parent = nullptr);

  // What item `index` shows for stamp language `language`.
  static QString itemText(int index, int language);
  // Item height in pixels: 14 for the first eight items, 0 beyond.
  static int itemHeight(int index) { return index < 8 ? 14 : 0; }

  QString displayedText(int index) const { return itemText(index, settings_.language); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const settings::StampSettings& settings_;
};

}  // namespace kelo::ui
