#include "ui/DateFormatCombo.h"

#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <ctime>

#include "render/FormatTables.h"
#include "render/StampText.h"
#include "ui/DialogUnits.h"

namespace kelo::ui {

namespace {

// 00:00:00 on Sunday 22 June 2003, the date every sample shows.
std::tm sampleDate() {
  std::tm t{};
  t.tm_year = 103;
  t.tm_mon = 5;
  t.tm_mday = 22;
  t.tm_wday = 0;
  return t;
}

// Draws each popup item from its index alone; the item strings are only the indexes.
class SampleDelegate : public QStyledItemDelegate {
 public:
  explicit SampleDelegate(DateFormatCombo* combo) : QStyledItemDelegate(combo), combo_(combo) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text = combo_->displayedText(index.row());
    opt.features |= QStyleOptionViewItem::HasDisplay;
    opt.font = dialogFont();
    opt.displayAlignment = Qt::AlignLeft | Qt::AlignTop;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : combo_->style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(DateFormatCombo::itemHeight(index.row()));
    return size;
  }

 private:
  const DateFormatCombo* combo_;
};

}  // namespace

DateFormatCombo::DateFormatCombo(const settings::StampSettings& settings, QWidget* parent)
    : QComboBox(parent), settings_(settings) {
  setObjectName(QStringLiteral("dateFormat"));
  setFont(dialogFont());
  setItemDelegate(new SampleDelegate(this));
}

QString DateFormatCombo::itemText(int index, int language) {
  if (index == 0) return QStringLiteral("自定义格式");
  if (index < 0 || index >= render::kDateListSlots) return {};
  const auto list = static_cast<std::size_t>(render::dateListOf(language));
  const std::u16string_view format = render::kDateFormatLists[list][static_cast<std::size_t>(index)];
  if (format.empty()) return {};
  return QString::fromStdU16String(render::formatSample(format, language, sampleDate()));
}

void DateFormatCombo::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  painter.drawComplexControl(QStyle::CC_ComboBox, opt);
  if (currentIndex() >= 0) opt.currentText = displayedText(currentIndex());
  opt.currentIcon = QIcon();
  painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

}  // namespace kelo::ui
