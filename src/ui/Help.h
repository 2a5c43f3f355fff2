#pragma once
// Help by context number (0x20000 + the resource number of a dialog or menu command): each context
// has a local page <context>.html that the desktop's browser shows. The pages are found beside the
// program: "../share/kelo/help" from the executable once installed, the source tree's "share/help"
// when it runs from a build tree. Where the page is missing or no browser can open it, the user
// gets a message instead of silence.
#include <QString>
#include <QUrl>
#include <functional>

namespace kelo::ui {

class QtPrompter;

// Contexts of the main window's menu.
inline constexpr int kHelpQuickGuide = 0x200A4;
inline constexpr int kHelpContents = 0x20066;

inline constexpr const char* kHelpPageMissing = "找不到帮助页";

// A context as "0x20066" or "131174"; false when the text is neither.
bool parseHelpContext(const QString& text, int& context);

class HelpOpener {
 public:
  // Opens a URL with the desktop's browser; false when nothing could open it.
  using UrlOpener = std::function<bool(const QUrl&)>;

  explicit HelpOpener(QtPrompter& prompter);

  // Page file of a context for a program in `programFolder` (default: this program's folder),
  // e.g. ".../share/kelo/help/0x200A4.html"; empty when no page exists.
  static QString pagePath(int context, const QString& programFolder = {});

  // Tests replace the browser.
  void setUrlOpener(UrlOpener opener) { open_ = std::move(opener); }

  // True when a browser was asked to show the page.
  bool show(int context);

 private:
  QtPrompter& prompter_;
  UrlOpener open_;
};

}  // namespace kelo::ui
