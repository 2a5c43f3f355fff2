// The appearance dialogs, the interval and preferences dialogs and the log window, driven through
// their widgets on the offscreen platform; messages go to a recording prompter.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QDir>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <string>
#include <vector>

#include "settings/StampSettings.h"
#include "ui/AppearanceDialog.h"
#include "ui/RepeatButton.h"
#include "ui/DateFormatCombo.h"
#include "ui/IntervalDialog.h"
#include "ui/CustomFormatDialog.h"
#include "ui/RunLogWindow.h"
#include "ui/PreferencesDialog.h"
#include "ui/DialogUnits.h"
#include "ui/FontFace.h"
#include "ui/KeloApp.h"
#include "ui/FormatComboHandlers.h"

using namespace kelo;
using kelo::engine::MessageKind;
using kelo::settings::IntervalMode;
using kelo::settings::StampSettings;

namespace {

struct RecordingPrompter final : engine::Prompter {
  struct Entry {
    MessageKind kind;
    QString text;
  };
  std::vector<Entry> messages;
  void message(MessageKind kind, const std::string& text) override {
    messages.push_back({kind, QString::fromStdString(text)});
  }
  bool askYesNo(MessageKind kind, const std::string& text) override {
    message(kind, text);
    return false;
  }
  QStringList texts() const {
    QStringList out;
    for (const Entry& e : messages) out << e.text;
    return out;
  }
  bool allWarnings() const {
    for (const Entry& e : messages)
      if (e.kind != MessageKind::Warning) return false;
    return true;
  }
};

template <class W>
W* child(QWidget& parent, const char* name) {
  W* w = parent.findChild<W*>(QString::fromLatin1(name));
  if (!w) qFatal("no control %s", name);
  return w;
}

// Shows a dialog and makes it the active window, so focus changes deliver their events.
void activate(QWidget& dialog) {
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  if (!QTest::qWaitForWindowActive(&dialog)) qWarning("dialog did not become active");
}

// Types into a field, then moves the focus to the Help button (which does nothing on focus).
void enterAndLeave(QWidget& dialog, const char* name, const QString& text) {
  QLineEdit* edit = child<QLineEdit>(dialog, name);
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
  child<QPushButton>(dialog, "help")->setFocus();
}

void screenshot(QWidget& widget, const QString& name) {
  const QString dir = qEnvironmentVariable("KELO_SCREENS_DIR", QDir::tempPath() + "/kelo-screens");
  QDir().mkpath(dir);
  QVERIFY(widget.grab().save(dir + "/" + name + ".png"));
}

QString repeated(QChar c, int n) { return QString(n, c); }

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void dialogUnitsMapCorners();
  void buttonRepeatsWithGrowingSteps();
  void buttonStopsWhenDisabledWhileHeld();
  void brightnessShowsDefaultsAndLimits();
  void brightnessWritesOnlyOnOk();
  void brightnessFontChoice();
  void fontChooserStartsOnTheDrawnFace();
  void qtDialogsSpeakChinese();
  void customFormatPreviewAndLength();
  void formatComboHandlers();
  void dateFormatSamples();
  void intervalValidationMessages();
  void intervalPeriodAndFade();
  void intervalEnablingAndModes();
  void intervalOkAndCancel();
  void preferencesClampAndWrite();
  void preferencesPatternAndLanguage();
  void logWindowKeepsLines();
  void helpButtonsNameTheirPages();
};

void DialogsTest::dialogUnitsMapCorners() {
  using namespace kelo::ui;
  QCOMPARE(dluX(4), 6);
  QCOMPARE(dluY(8), 13);
  QCOMPARE(dluX(284), 426);
  QCOMPARE(dluY(318), 517);
  // Adjacent rectangles in dialog units stay adjacent in pixels.
  const QRect a = dluRect(7, 7, 25, 13);
  const QRect b = dluRect(32, 20, 25, 13);
  QCOMPARE(a.right() + 1, b.left());
  QCOMPARE(a.bottom() + 1, b.top());
}

void DialogsTest::buttonRepeatsWithGrowingSteps() {
  QWidget window;
  auto* button = new ui::RepeatButton(1023, ">", &window);
  button->setGeometry(10, 10, 30, 20);
  button->setRepeatInterval(5);
  window.show();
  std::vector<int> steps;
  int clicks = 0;
  QObject::connect(button, &ui::RepeatButton::action, [&](int id, int step) {
    QCOMPARE(id, 1023);
    steps.push_back(step);
  });
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

  QTest::mousePress(button, Qt::LeftButton);
  QCOMPARE(steps.size(), 1u);  // at once, before any tick
  QTRY_VERIFY(steps.size() >= 13);
  QTest::mouseRelease(button, Qt::LeftButton);
  QVERIFY(!button->isRepeating());
  const std::vector<int> expected = {1, 1, 1, 1, 3, 3, 3, 6, 6, 6, 10, 10, 10};
  QCOMPARE(std::vector<int>(steps.begin(), steps.begin() + 13), expected);
  // Press plus ten ticks moves 41 pixels; twelve ticks from x = 0 reach 61.
  int sum = 0;
  for (int i = 0; i < 11; ++i) sum += steps[static_cast<size_t>(i)];
  QCOMPARE(sum, 41);
  QCOMPARE(sum + 10 + 10, 61);
  QCOMPARE(clicks, 0);  // the press is the action; no extra click

  // Released: no more actions; the next press starts again at step 1.
  const size_t after = steps.size();
  QTest::qWait(30);
  QCOMPARE(steps.size(), after);
  QTest::mousePress(button, Qt::LeftButton);
  QTRY_VERIFY(steps.size() >= after + 3);
  QTest::mouseRelease(button, Qt::LeftButton);
  QCOMPARE(steps[after], 1);
  QCOMPARE(steps[after + 1], 1);

  // The keyboard clicks once with the unit step.
  steps.clear();
  button->setFocus();
  QTest::keyClick(button, Qt::Key_Space);
  QCOMPARE(steps, std::vector<int>{1});
  QCOMPARE(ui::RepeatButton::stepAt(9), 10);
  QCOMPARE(ui::RepeatButton::stepAt(42), 10);
}

void DialogsTest::buttonStopsWhenDisabledWhileHeld() {
  QWidget window;
  auto* button = new ui::RepeatButton(1018, "^", &window);
  button->setRepeatInterval(5);
  window.show();
  int actions = 0;
  QObject::connect(button, &ui::RepeatButton::action, [&](int, int) { ++actions; });
  QTest::mousePress(button, Qt::LeftButton);
  QTRY_VERIFY(actions >= 3);
  // A run starting disables the nudge buttons; the release then never reaches this one.
  button->setEnabled(false);
  QVERIFY(!button->isRepeating());
  const int stopped = actions;
  QTest::qWait(30);
  QCOMPARE(actions, stopped);
}

void DialogsTest::brightnessShowsDefaultsAndLimits() {
  StampSettings s;
  ui::AppearanceDialog dialog(s, s.dateCode);
  QCOMPARE(dialog.windowTitle(), QString("Kelo 日期码字体和亮度"));
  QCOMPARE(child<QLineEdit>(dialog, "fontBrightnessPercent")->text(), QString("93%"));
  QCOMPARE(child<QLineEdit>(dialog, "outlineBrightnessPercent")->text(), QString("6%"));
  QCOMPARE(child<QLineEdit>(dialog, "transparencyPercent")->text(), QString("0%"));
  QCOMPARE(ui::AppearanceDialog::brightnessPercent(255), 100);
  QCOMPARE(ui::AppearanceDialog::brightnessPercent(-255), 0);

  auto* fontSlider = child<QSlider>(dialog, "fontBrightness");
  auto* outlineSlider = child<QSlider>(dialog, "outlineBrightness");
  auto* transparency = child<QSlider>(dialog, "transparency");
  fontSlider->setValue(300);
  QCOMPARE(fontSlider->value(), 255);
  QCOMPARE(child<QLineEdit>(dialog, "fontBrightnessPercent")->text(), QString("100%"));
  outlineSlider->setValue(-300);
  QCOMPARE(outlineSlider->value(), -255);
  transparency->setValue(95);
  QCOMPARE(transparency->value(), 90);
  QCOMPARE(child<QLineEdit>(dialog, "transparencyPercent")->text(), QString("90%"));
  transparency->setValue(-5);
  QCOMPARE(transparency->value(), 0);

  // The outline slider follows the outline box at once.
  auto* outline = child<QCheckBox>(dialog, "outline");
  QVERIFY(outlineSlider->isEnabled());
  outline->click();
  QVERIFY(!outlineSlider->isEnabled());
  outline->click();
  QVERIFY(outlineSlider->isEnabled());
  screenshot(dialog, "AppearanceDialog");
}

void DialogsTest::brightnessWritesOnlyOnOk() {
  StampSettings s;
  const StampSettings before = s;
  {
    ui::AppearanceDialog dialog(s, s.timeCode);
    child<QSlider>(dialog, "fontBrightness")->setValue(-100);
    child<QCheckBox>(dialog, "uppercase")->click();
    child<QPushButton>(dialog, "cancel")->click();
  }
  QVERIFY(s == before);
  {
    ui::AppearanceDialog dialog(s, s.timeCode);
    child<QSlider>(dialog, "fontBrightness")->setValue(-100);
    child<QSlider>(dialog, "transparency")->setValue(40);
    child<QCheckBox>(dialog, "uppercase")->click();
    child<QCheckBox>(dialog, "outline")->click();
    child<QPushButton>(dialog, "ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(s.timeCode.fontBrightness, -100);
  QCOMPARE(s.timeCode.transparency, 40);
  QVERIFY(s.timeCode.uppercase);
  QVERIFY(!s.timeCode.outline);
  QCOMPARE(s.timeCode.outlineBrightness, -220);
  QVERIFY(s.projectModified);
  QVERIFY(s.dateCode == before.dateCode);  // the other code is untouched
}

void DialogsTest::brightnessFontChoice() {
  // The stored default converts to 22 points and back to height -29.
  StampSettings s;
  const QFont q = ui::AppearanceDialog::toQFont(s.dateCode.font, s.dateCode.pointSizeTenths);
  QCOMPARE(q.pointSizeF(), 22.0);
  QCOMPARE(q.weight(), QFont::Bold);
  settings::LogFont back = s.dateCode.font;
  int tenths = 0;
  ui::AppearanceDialog::fromQFont(q, back, tenths);
  QCOMPARE(tenths, 220);
  QVERIFY(back == s.dateCode.font);

  {
    ui::AppearanceDialog dialog(s, s.dateCode);
    QFont seen;
    dialog.setFontChooser([&](const QFont& initial, QWidget*) -> std::optional<QFont> {
      seen = initial;
      QFont chosen(QStringLiteral("Liberation Serif"));
      chosen.setPointSizeF(30);
      chosen.setItalic(true);
      chosen.setWeight(QFont::Normal);
      return chosen;
    });
    child<QPushButton>(dialog, "chooseFont")->click();
    QCOMPARE(seen.pointSizeF(), 22.0);
    // The chooser starts on the face that is drawn for "Arial", with its weight.
    QCOMPARE(seen.family(), ui::drawnFamily(QStringLiteral("Arial"), 700, false));
    QCOMPARE(seen.weight(), QFont::Bold);
    child<QPushButton>(dialog, "ok")->click();
  }
  QCOMPARE(settings::textOf(s.dateCode.font.lfFaceName), std::u16string(u"Liberation Serif"));
  QCOMPARE(s.dateCode.pointSizeTenths, 300);
  QCOMPARE(s.dateCode.font.lfHeight, -40);
  QCOMPARE(s.dateCode.font.lfWeight, 400);
  QCOMPARE(int(s.dateCode.font.lfItalic), 1);

  // Cancelling the chooser keeps the font; OK still writes (unchanged) values.
  const settings::StampCodeSettings kept = s.dateCode;
  s.projectModified = false;
  {
    ui::AppearanceDialog dialog(s, s.dateCode);
    dialog.setFontChooser([](const QFont&, QWidget*) { return std::optional<QFont>(); });
    child<QPushButton>(dialog, "chooseFont")->click();
    child<QPushButton>(dialog, "ok")->click();
  }
  QVERIFY(s.dateCode == kept);
  QVERIFY(s.projectModified);
}

void DialogsTest::fontChooserStartsOnTheDrawnFace() {
  // The stored "Arial" bold opens the platform chooser on the face drawn for it, bold; its
  // underline box sets the stored underline; OK keeps the stored name and weight.
  StampSettings s;
  settings::setText(s.dateCode.font.lfFaceName, u"Arial");
  s.dateCode.font.lfWeight = 700;
  ui::AppearanceDialog dialog(s, s.dateCode);
  QFont shown;
  int visibleBoxes = -1;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
    if (!chooser) return;
    shown = chooser->currentFont();
    visibleBoxes = 0;
    for (QCheckBox* box : chooser->findChildren<QCheckBox*>()) visibleBoxes += box->isVisibleTo(chooser) ? 1 : 0;
    QFont underlined = chooser->currentFont();
    underlined.setUnderline(true);
    chooser->setCurrentFont(underlined);
    chooser->accept();
  });
  child<QPushButton>(dialog, "chooseFont")->click();
  QCOMPARE(shown.family(), ui::drawnFamily(QStringLiteral("Arial"), 700, false));
  QCOMPARE(shown.weight(), QFont::Bold);
  QVERIFY(!shown.italic());
  QCOMPARE(visibleBoxes, 2);
  child<QPushButton>(dialog, "ok")->click();
  QCOMPARE(settings::textOf(s.dateCode.font.lfFaceName), std::u16string(u"Arial"));
  QCOMPARE(s.dateCode.font.lfWeight, 700);
  QCOMPARE(int(s.dateCode.font.lfItalic), 0);
  QCOMPARE(int(s.dateCode.font.lfUnderline), 1);
  QCOMPARE(int(s.dateCode.font.lfStrikeOut), 0);
}

void DialogsTest::qtDialogsSpeakChinese() {
  QVERIFY(ui::loadQtTranslations(*qApp));
  QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
  QVERIFY(box.button(QDialogButtonBox::Open)->text() != QStringLiteral("&Open"));
}

void DialogsTest::customFormatPreviewAndLength() {
  StampSettings s;
  s.language = 0;  // English AM/PM
  RecordingPrompter prompter;
  settings::setText(s.timeCode.customFormat, u"%#I:%M%p");
  {
    ui::CustomFormatDialog dialog(s, s.timeCode, prompter);
    QCOMPARE(dialog.windowTitle(), QString("Kelo 自定义格式"));
    QCOMPARE(child<QLineEdit>(dialog, "formatPreview")->text(), QString("9:26pm"));
    screenshot(dialog, "CustomFormatDialog");
  }
  s.timeCode.uppercase = true;
  {
    ui::CustomFormatDialog dialog(s, s.timeCode, prompter);
    QCOMPARE(child<QLineEdit>(dialog, "formatPreview")->text(), QString("9:26PM"));
    // Line breaks show as typed; the sample date is 22 June 2003.
    child<QLineEdit>(dialog, "definition")->setText("%Y-%m-%d\\n%H");
    child<QPushButton>(dialog, "preview")->click();
    QCOMPARE(child<QLineEdit>(dialog, "formatPreview")->text(), QString("2003-06-22\\N21"));
  }
  QVERIFY(prompter.messages.empty());

  // 100 characters: the preview refuses, OK keeps the first 99 after a warning.
  const QString tooLong = repeated('x', 99) + "y";
  {
    ui::CustomFormatDialog dialog(s, s.timeCode, prompter);
    child<QLineEdit>(dialog, "definition")->setText(tooLong);
    child<QPushButton>(dialog, "preview")->click();
    QCOMPARE(prompter.texts(), QStringList{"格式太长了。"});
    QCOMPARE(child<QLineEdit>(dialog, "formatPreview")->text(), QString("9:26PM"));  // unchanged
    child<QPushButton>(dialog, "ok")->click();
  }
  QCOMPARE(prompter.texts(), (QStringList{"格式太长了。", "格式太长，尾巴切掉了一些。"}));
  QVERIFY(prompter.allWarnings());
  QCOMPARE(settings::textOf(s.timeCode.customFormat), repeated('x', 99).toStdU16String());

  prompter.messages.clear();
  const QString exact = repeated('z', 99);
  {
    ui::CustomFormatDialog dialog(s, s.timeCode, prompter);
    child<QLineEdit>(dialog, "definition")->setText(exact);
    child<QPushButton>(dialog, "preview")->click();
    child<QPushButton>(dialog, "ok")->click();
  }
  QVERIFY(prompter.messages.empty());
  QCOMPARE(settings::textOf(s.timeCode.customFormat), exact.toStdU16String());

  // Cancel writes nothing.
  {
    ui::CustomFormatDialog dialog(s, s.timeCode, prompter);
    child<QLineEdit>(dialog, "definition")->setText("%H");
    child<QPushButton>(dialog, "cancel")->click();
  }
  QCOMPARE(settings::textOf(s.timeCode.customFormat), exact.toStdU16String());
}

void DialogsTest::formatComboHandlers() {
  StampSettings s;
  RecordingPrompter prompter;
  int runs = 0;

  // A built-in entry opens nothing.
  s.dateCode.formatIndex = 2;
  QVERIFY(!ui::onDateFormatChanged(s, prompter, nullptr, {}, [&](ui::CustomFormatDialog&) { return ++runs, 1; }));
  QCOMPARE(runs, 0);

  // The custom entry edits the language's slot; OK keeps the text and classifies it.
  s.language = 0;
  s.dateCode.formatIndex = 0;
  s.projectModified = false;
  QVERIFY(ui::onDateFormatChanged(s, prompter, nullptr, {}, [&](ui::CustomFormatDialog& dialog) {
    ++runs;
    // The dialog opens on the slot's text.
    if (child<QLineEdit>(dialog, "definition")->text() != QString("%Y-%m-%d\\n%#I:%M:%S%p")) return int(QDialog::Rejected);
    child<QLineEdit>(dialog, "definition")->setText("%#I:%M%p");
    dialog.accept();
    return dialog.result();
  }));
  QCOMPARE(runs, 1);
  QVERIFY(s.projectModified);
  QCOMPARE(settings::textOf(s.customDateFormats[0]), std::u16string(u"%#I:%M%p"));
  QCOMPARE(settings::textOf(s.dateCode.customFormat), std::u16string(u"%#I:%M%p"));
  QVERIFY(!s.dateCode.customHasDate);
  QVERIFY(s.dateCode.customHasTime);
  QCOMPARE(settings::textOf(s.customDateFormats[1]), std::u16string(u"%#x\\n%#I:%M:%S%p"));

  // Cancel restores the slot text and still recomputes the flags from it.
  s.projectModified = false;
  settings::setText(s.customTimeFormat, u"%p");
  s.timeCode.formatIndex = 0;
  s.timeCode.customHasDate = s.timeCode.customHasTime = true;
  QVERIFY(!ui::onTimeFormatChanged(s, prompter, nullptr, {}, [&](ui::CustomFormatDialog& dialog) {
    child<QLineEdit>(dialog, "definition")->setText("%Y %H");
    dialog.reject();
    return dialog.result();
  }));
  QVERIFY(!s.projectModified);
  QCOMPARE(settings::textOf(s.customTimeFormat), std::u16string(u"%p"));
  QVERIFY(!s.timeCode.customHasDate);
  QVERIFY(!s.timeCode.customHasTime);

  // Languages above 3 share slot 3.
  s.language = 7;
  s.dateCode.formatIndex = 0;
  QVERIFY(ui::onDateFormatChanged(s, prompter, nullptr, {}, [&](ui::CustomFormatDialog& dialog) {
    child<QLineEdit>(dialog, "definition")->setText("%d.%m.%Y");
    dialog.accept();
    return dialog.result();
  }));
  QCOMPARE(settings::textOf(s.customDateFormats[3]), std::u16string(u"%d.%m.%Y"));
  QVERIFY(s.dateCode.customHasDate);
  QVERIFY(!s.dateCode.customHasTime);
  QVERIFY(prompter.messages.empty());
}

void DialogsTest::dateFormatSamples() {
  using ui::DateFormatCombo;
  QCOMPARE(DateFormatCombo::itemText(0, 0), QString("自定义格式"));
  QCOMPARE(DateFormatCombo::itemText(1, 0), QString("2003-06-22"));
  QCOMPARE(DateFormatCombo::itemText(2, 0), QString("22-06-2003"));
  QCOMPARE(DateFormatCombo::itemText(6, 0), QString("06.22.2003"));
  QCOMPARE(DateFormatCombo::itemText(1, 1), QString("2003年6月22日"));
  QVERIFY(DateFormatCombo::itemText(2, 1).startsWith(QString("2003年6月22日 ")));
  // 22 June 2003 was a Sunday; the sample must not name another day.
  QCOMPARE(DateFormatCombo::itemText(2, 1), QString("2003年6月22日 星期日"));
  QCOMPARE(DateFormatCombo::itemText(7, 2), QString("Sunday June 22, 2003"));
  QCOMPARE(DateFormatCombo::itemText(8, 2), QString());
  QCOMPARE(DateFormatCombo::itemHeight(7), 14);
  QCOMPARE(DateFormatCombo::itemHeight(8), 0);

  // The samples follow the language at drawing time.
  StampSettings s;
  s.language = 0;
  QWidget window;
  window.resize(200, 60);
  auto* combo = new DateFormatCombo(s, &window);
  combo->setGeometry(ui::dluRect(7, 7, 90, 14));
  for (int i = 0; i < settings::dateFormatListLength(0); ++i) combo->addItem(QString::number(i));
  combo->setCurrentIndex(1);
  QCOMPARE(combo->displayedText(1), QString("2003-06-22"));
  s.language = 1;
  QCOMPARE(combo->displayedText(1), QString("2003年6月22日"));
  window.show();
  screenshot(window, "DateFormatCombo");
  // The open list draws every item as its sample, 14 pixels high.
  s.language = 0;
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  QTRY_VERIFY(view->isVisible());
  QCOMPARE(view->sizeHintForRow(0), 14);
  screenshot(*view->window(), "DateFormatCombo-list");
  combo->hidePopup();
}

void DialogsTest::intervalValidationMessages() {
  StampSettings s;
  RecordingPrompter prompter;
  ui::IntervalDialog dialog(s, s.timeCode, prompter);
  QCOMPARE(dialog.windowTitle(), QString("Kelo 加码区间"));
  activate(dialog);

  struct Case {
    const char* mode;
    const char* field;
    QString message;
    QString corrected;
  };
  const Case cases[] = {
      {"onSceneChange", "sceneSeconds", "区间长度无效(0 秒)!", "8"},
      {"onDateChange", "dateChangeSeconds", "区间长度无效(0 秒)!", "7"},
      {"periodic", "periodLengthSeconds", "加码区间长度无效(0 秒)!", "6"},
      {"atStartMarkers", "markerSeconds", "区间长度无效(0 秒)!", "8"},
  };
  for (const Case& c : cases) {
    prompter.messages.clear();
    child<QRadioButton>(dialog, c.mode)->click();
    QVERIFY(child<QLineEdit>(dialog, c.field)->isEnabled());
    enterAndLeave(dialog, c.field, "0");
    QCOMPARE(prompter.texts(), QStringList{c.message});
    QVERIFY(prompter.allWarnings());
    QCOMPARE(child<QLineEdit>(dialog, c.field)->text(), c.corrected);
  }

  // Fade and delay: zero lengths in any mode that offers them.
  child<QRadioButton>(dialog, "betweenMarkers")->click();  // between markers
  child<QCheckBox>(dialog, "fadeEnabled")->click();
  child<QCheckBox>(dialog, "delayEnabled")->click();
  prompter.messages.clear();
  enterAndLeave(dialog, "fadeSeconds", "0");
  QCOMPARE(prompter.texts(), QStringList{"淡入/淡出长度无效(0 秒)!"});
  QCOMPARE(child<QLineEdit>(dialog, "fadeSeconds")->text(), QString("1"));
  prompter.messages.clear();
  enterAndLeave(dialog, "delaySeconds", "0");
  QCOMPARE(prompter.texts(), QStringList{"延迟长度无效(0 秒)!"});
  QCOMPARE(child<QLineEdit>(dialog, "delaySeconds")->text(), QString("1"));

  // Between markers has no stamped length: a long fade is fine. The scene gap may be 0.
  prompter.messages.clear();
  enterAndLeave(dialog, "fadeSeconds", "30");
  QVERIFY(prompter.messages.empty());
  child<QRadioButton>(dialog, "onSceneChange")->click();
  enterAndLeave(dialog, "sceneGapSeconds", "0");
  QVERIFY(prompter.messages.empty());
  QCOMPARE(child<QLineEdit>(dialog, "sceneGapSeconds")->text(), QString("0"));

  // Going to Cancel, or Escape, discards the field without a check.
  prompter.messages.clear();
  QLineEdit* scene = child<QLineEdit>(dialog, "sceneSeconds");
  scene->setFocus();
  scene->setText("0");
  child<QPushButton>(dialog, "cancel")->setFocus();
  QVERIFY(prompter.messages.empty());
  scene->setFocus();
  QTest::keyClick(scene, Qt::Key_Escape);
  QVERIFY(dialog.isHidden());
  QVERIFY(prompter.messages.empty());
  activate(dialog);

  // Digits only: a sign cannot be typed.
  enterAndLeave(dialog, "sceneGapSeconds", "-5");
  QCOMPARE(child<QLineEdit>(dialog, "sceneGapSeconds")->text(), QString("5"));
  screenshot(dialog, "IntervalDialog");
}

void DialogsTest::intervalPeriodAndFade() {
  StampSettings s;
  RecordingPrompter prompter;
  ui::IntervalDialog dialog(s, s.timeCode, prompter);
  activate(dialog);
  child<QRadioButton>(dialog, "periodic")->click();  // periodic

  // Length equal to the period, leaving either field.
  for (const char* field : {"periodLengthSeconds", "periodSeconds"}) {
    child<QLineEdit>(dialog, "periodSeconds")->setText("60");
    child<QLineEdit>(dialog, "periodLengthSeconds")->setText("60");
    prompter.messages.clear();
    enterAndLeave(dialog, field, "60");
    QCOMPARE(prompter.texts(), QStringList{"加码区间长度(60 秒)必须小于周期长度(60 秒)"});
    QCOMPARE(child<QLineEdit>(dialog, "periodSeconds")->text(), QString("60"));
    QCOMPARE(child<QLineEdit>(dialog, "periodLengthSeconds")->text(), QString("6"));
  }
  // A zero length below a tiny period is corrected into a consistent pair.
  child<QLineEdit>(dialog, "periodSeconds")->setText("3");
  prompter.messages.clear();
  enterAndLeave(dialog, "periodLengthSeconds", "0");
  QCOMPARE(prompter.messages.size(), 2u);
  QCOMPARE(child<QLineEdit>(dialog, "periodSeconds")->text(), QString("60"));
  QCOMPARE(child<QLineEdit>(dialog, "periodLengthSeconds")->text(), QString("6"));

  // Scene change of 3 seconds with a 2-second fade: too long, becomes 1.
  child<QRadioButton>(dialog, "onSceneChange")->click();
  enterAndLeave(dialog, "sceneSeconds", "3");
  child<QCheckBox>(dialog, "fadeEnabled")->click();
  prompter.messages.clear();
  enterAndLeave(dialog, "fadeSeconds", "2");
  QCOMPARE(prompter.messages.size(), 1u);
  QVERIFY(prompter.texts()[0].contains("2 秒") && prompter.texts()[0].contains("3 秒"));
  QCOMPARE(child<QLineEdit>(dialog, "fadeSeconds")->text(), QString("1"));
  // A one-second interval cannot hold any fade; the fade still never becomes 0.
  enterAndLeave(dialog, "sceneSeconds", "1");
  prompter.messages.clear();
  enterAndLeave(dialog, "fadeSeconds", "1");
  QCOMPARE(prompter.messages.size(), 1u);
  QCOMPARE(child<QLineEdit>(dialog, "fadeSeconds")->text(), QString("1"));
}

void DialogsTest::intervalEnablingAndModes() {
  StampSettings s;
  RecordingPrompter prompter;
  {
    ui::IntervalDialog dateDialog(s, s.dateCode, prompter);
    QVERIFY(!child<QRadioButton>(dateDialog, "betweenMarkersZeroTime")->isEnabled());
    ui::IntervalDialog timeDialog(s, s.timeCode, prompter);
    QVERIFY(child<QRadioButton>(timeDialog, "betweenMarkersZeroTime")->isEnabled());

    // Every frame: no numbers, no fade or delay.
    QVERIFY(child<QRadioButton>(timeDialog, "everyFrame")->isChecked());
    for (const char* name : {"sceneSeconds", "sceneGapSeconds", "dateChangeSeconds", "periodLengthSeconds",
                             "periodSeconds", "markerSeconds", "fadeSeconds", "delaySeconds"})
      QVERIFY(!child<QLineEdit>(timeDialog, name)->isEnabled());
    QVERIFY(!child<QCheckBox>(timeDialog, "fadeEnabled")->isEnabled());
    QVERIFY(!child<QCheckBox>(timeDialog, "delayEnabled")->isEnabled());

    child<QRadioButton>(timeDialog, "periodic")->click();
    QVERIFY(child<QLineEdit>(timeDialog, "periodLengthSeconds")->isEnabled());
    QVERIFY(child<QLineEdit>(timeDialog, "periodSeconds")->isEnabled());
    QVERIFY(!child<QLineEdit>(timeDialog, "sceneSeconds")->isEnabled());
    QVERIFY(child<QCheckBox>(timeDialog, "fadeEnabled")->isEnabled());
    QVERIFY(!child<QLineEdit>(timeDialog, "fadeSeconds")->isEnabled());
    child<QCheckBox>(timeDialog, "fadeEnabled")->click();
    QVERIFY(child<QLineEdit>(timeDialog, "fadeSeconds")->isEnabled());
    child<QRadioButton>(timeDialog, "betweenMarkersZeroTime")->click();  // zero time: no fade, no delay
    QVERIFY(!child<QCheckBox>(timeDialog, "fadeEnabled")->isEnabled());
    QVERIFY(!child<QLineEdit>(timeDialog, "fadeSeconds")->isEnabled());
  }
  QVERIFY(prompter.messages.empty());
}

void DialogsTest::intervalOkAndCancel() {
  StampSettings s;
  RecordingPrompter prompter;
  const StampSettings before = s;
  {
    ui::IntervalDialog dialog(s, s.timeCode, prompter);
    activate(dialog);
    child<QRadioButton>(dialog, "onDateChange")->click();
    enterAndLeave(dialog, "dateChangeSeconds", "9");
    child<QPushButton>(dialog, "cancel")->click();
  }
  QVERIFY(s == before);
  {
    ui::IntervalDialog dialog(s, s.timeCode, prompter);
    activate(dialog);
    child<QRadioButton>(dialog, "onDateChange")->click();
    enterAndLeave(dialog, "dateChangeSeconds", "9");
    child<QCheckBox>(dialog, "delayEnabled")->click();
    enterAndLeave(dialog, "delaySeconds", "5");
    child<QPushButton>(dialog, "ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(s.timeCode.intervalMode, IntervalMode::OnDateChange);
  QCOMPARE(s.timeCode.dateChangeSeconds, 9);
  QVERIFY(s.timeCode.delayOn);
  QCOMPARE(s.timeCode.delaySeconds, 5);
  QVERIFY(s.projectModified);
  QVERIFY(prompter.messages.empty());

  // OK (Enter) while a bad value still sits in the focused field: corrected, never stored as 0.
  {
    ui::IntervalDialog dialog(s, s.timeCode, prompter);
    activate(dialog);
    QLineEdit* edit = child<QLineEdit>(dialog, "dateChangeSeconds");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "0");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(prompter.texts(), QStringList{"区间长度无效(0 秒)!"});
  QCOMPARE(s.timeCode.dateChangeSeconds, 7);
}

void DialogsTest::preferencesClampAndWrite() {
  StampSettings s;
  RecordingPrompter prompter;
  const StampSettings before = s;
  {
    ui::PreferencesDialog dialog(s, prompter);
    QCOMPARE(dialog.windowTitle(), QString("Kelo 个性化设置"));
    activate(dialog);
    struct Case {
      const char* field;
      QString typed;
      QString shown;
    };
    const Case cases[] = {{"adjustYears", "99", "50"},    {"adjustMonths", "-12", "-11"}, {"adjustDays", "17", "16"},
                          {"adjustHours", "-24", "-23"},  {"adjustMinutes", "60", "59"},  {"adjustSeconds", "-60", "-59"},
                          {"adjustYears", "-7", "-7"},    {"adjustDays", "-", "0"}};
    for (const Case& c : cases) {
      enterAndLeave(dialog, c.field, c.typed);
      QCOMPARE(child<QLineEdit>(dialog, c.field)->text(), c.shown);
    }
    QVERIFY(prompter.messages.empty());
    child<QRadioButton>(dialog, "preview640x480")->click();
    child<QCheckBox>(dialog, "creationTimeFromFirstTimecode")->click();
    child<QPushButton>(dialog, "cancel")->click();
  }
  QVERIFY(s == before);
  {
    ui::PreferencesDialog dialog(s, prompter);
    activate(dialog);
    enterAndLeave(dialog, "adjustYears", "99");
    enterAndLeave(dialog, "adjustMonths", "-12");
    child<QRadioButton>(dialog, "preview640x480")->click();
    for (const char* name : {"creationTimeFromFirstTimecode", "modificationTimeFromLastTimecode", "markersInOneFile",
                             "tapeTimecodeAsTcb"})
      child<QCheckBox>(dialog, name)->click();
    // Enter while a correction field holds an out-of-range value: clamped before storing.
    QLineEdit* seconds = child<QLineEdit>(dialog, "adjustSeconds");
    seconds->setFocus();
    seconds->selectAll();
    QTest::keyClicks(seconds, "75");
    QTest::keyClick(seconds, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    screenshot(dialog, "PreferencesDialog");
  }
  QCOMPARE(s.adjustYears, 50);
  QCOMPARE(s.adjustMonths, -11);
  QCOMPARE(s.adjustSeconds, 59);
  QCOMPARE(s.previewSize, settings::PreviewSize::Size640x480);
  QVERIFY(s.creationTimeFromFirstTimecode);
  QVERIFY(s.modificationTimeFromLastTimecode);
  QVERIFY(!s.markersInOneFile);
  QVERIFY(s.tapeTimecodeAsTcb);
  QVERIFY(s.projectModified);
  QVERIFY(prompter.messages.empty());
}

void DialogsTest::preferencesPatternAndLanguage() {
  StampSettings s;
  RecordingPrompter prompter;
  {
    ui::PreferencesDialog dialog(s, prompter);
    auto* rename = child<QCheckBox>(dialog, "renameOutput");
    auto* pattern = child<QLineEdit>(dialog, "outputNamePattern");
    QVERIFY(!pattern->isEnabled());
    rename->click();
    QVERIFY(pattern->isEnabled());
    pattern->setText(repeated('a', 99) + "bc");
    child<QPushButton>(dialog, "ok")->click();
  }
  QCOMPARE(prompter.texts(), QStringList{"格式太长，尾巴切掉了一些。"});
  QVERIFY(prompter.allWarnings());
  QVERIFY(s.renameOutput);
  QCOMPARE(settings::textOf(s.outputNamePattern), repeated('a', 99).toStdU16String());

  prompter.messages.clear();
  {
    ui::PreferencesDialog dialog(s, prompter);
    child<QLineEdit>(dialog, "outputNamePattern")->setText(repeated('b', 99));
    child<QPushButton>(dialog, "ok")->click();
  }
  QVERIFY(prompter.messages.empty());
  QCOMPARE(settings::textOf(s.outputNamePattern), repeated('b', 99).toStdU16String());

  // Only the language changes: numerals to Chinese, and entry 5 falls back to entry 1.
  s.language = 0;
  s.dateCode.formatIndex = 5;
  {
    ui::PreferencesDialog dialog(s, prompter);
    auto* language = child<QComboBox>(dialog, "language");
    QCOMPARE(language->currentText(), QString("数字"));
    language->setCurrentIndex(1);
    child<QPushButton>(dialog, "ok")->click();
    QVERIFY(dialog.languageChanged());
  }
  QCOMPARE(s.language, 1);
  QCOMPARE(s.dateCode.formatIndex, 1);
  s.dateCode.formatIndex = 2;
  {
    ui::PreferencesDialog dialog(s, prompter);
    child<QComboBox>(dialog, "language")->setCurrentIndex(0);
    child<QPushButton>(dialog, "ok")->click();
  }
  QCOMPARE(s.dateCode.formatIndex, 2);  // within the numeral list

  // A language the dialog does not offer (from a stored file) survives an OK.
  s.language = 7;
  {
    ui::PreferencesDialog dialog(s, prompter);
    child<QPushButton>(dialog, "ok")->click();
    QVERIFY(!dialog.languageChanged());
  }
  QCOMPARE(s.language, 7);
  QVERIFY(prompter.messages.empty());
}

void DialogsTest::logWindowKeepsLines() {
  QWidget mainWindow;
  auto* log = new ui::RunLogWindow(&mainWindow);
  QCOMPARE(log->windowTitle(), QString("Kelo 运行记录"));
  QVERIFY(log->lines().isEmpty());
  log->show();
  QVERIFY(log->listBox()->count() == 0);
  child<QPushButton>(*log, "close")->click();
  QVERIFY(log->isHidden());

  log->appendLine("2003-06-22 21:26:38 开始加码");
  const QString longLine = "很长的一行：" + repeated('x', 400);
  log->appendLine(longLine);
  log->show();
  QCOMPARE(log->lines(), (QStringList{"2003-06-22 21:26:38 开始加码", longLine}));
  child<QPushButton>(*log, "close")->click();
  log->show();
  QCOMPARE(log->lines().size(), 2);
  // The long line can be scrolled to its end.
  QTRY_VERIFY(log->listBox()->horizontalScrollBar()->maximum() > 0);
  QVERIFY(log->listBox()->selectionMode() == QAbstractItemView::NoSelection);
  screenshot(*log, "RunLogWindow");
}

void DialogsTest::helpButtonsNameTheirPages() {
  StampSettings s;
  RecordingPrompter prompter;
  std::vector<int> contexts;
  auto record = [&](int context) { contexts.push_back(context); };
  {
    ui::AppearanceDialog brightness(s, s.dateCode);
    QObject::connect(&brightness, &ui::AppearanceDialog::helpRequested, record);
    child<QPushButton>(brightness, "help")->click();
    ui::IntervalDialog duration(s, s.dateCode, prompter);
    QObject::connect(&duration, &ui::IntervalDialog::helpRequested, record);
    child<QPushButton>(duration, "help")->click();
    ui::PreferencesDialog preference(s, prompter);
    QObject::connect(&preference, &ui::PreferencesDialog::helpRequested, record);
    child<QPushButton>(preference, "help")->click();
  }
  s.timeCode.formatIndex = 0;
  ui::onTimeFormatChanged(s, prompter, nullptr, record, [&](ui::CustomFormatDialog& dialog) {
    child<QPushButton>(dialog, "help")->click();
    return int(QDialog::Rejected);
  });
  QCOMPARE(contexts, (std::vector<int>{0x200A0, 0x200A1, 0x2009D, 0x200A3}));
  // Every context has its page.
  for (int context : contexts) {
    const QString page = QStringLiteral(KELO_SOURCE_HELP_DIR "/0x%1.html").arg(QString::number(context, 16).toUpper());
    QVERIFY2(QFile::exists(page), qPrintable(page));
  }
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
