#pragma once
// Help by context number (0x20000 + the resource number of a dialog or menu command): each context
// has a local page share/help/<context>.html that the desktop's browser shows. Where the page is
// missing or no browser can open it, the user gets a message instead of silence.
#include <QString>
#include <QUrl>
#include <functional>

namespace kelo::ui {

class QtPrompter;

// Contexts of the main window's menu.
inline constexpr int kHelpQuickGuide = 0x200A4;
inline constexpr int kHelpContents = 0x20066;

class HelpOpener {
 public:
  // Opens a URL with the desktop's browser; false when nothing could open it.
  using UrlOpener = std::function<bool(const QUrl&)>;

  explicit HelpOpener(QtPrompter& prompter);

  // Page file of a context, e.g. ".../share/help/0x200A4.html".
  static QString pagePath(int context);

  // Tests replace the browser.
  void setUrlOpener(UrlOpener opener) { open_ = std::move(opener); }

  // True when a browser was asked to show the page.
  bool show(int context);

 private:
  QtPrompter& prompter_;
  UrlOpener open_;
};

}  // namespace kelo::ui
