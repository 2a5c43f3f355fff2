#include "ui/RecentProjects.h"

#include <QSettings>

namespace kelo::ui {

namespace {

constexpr const char* kGroup = "Recent File List";

QString keyOf(int i) { return QStringLiteral("File%1").arg(i + 1); }

}  // namespace

RecentProjects::RecentProjects() { load(); }

void RecentProjects::add(const QString& path) {
  if (path.isEmpty()) return;
  entries_.removeAll(path);
  entries_.prepend(path);
  while (entries_.size() > kCapacity) entries_.removeLast();
  save();
}

void RecentProjects::remove(const QString& path) {
  if (entries_.removeAll(path) > 0) save();
}

void RecentProjects::load() {
  QSettings store;
  store.beginGroup(QString::fromLatin1(kGroup));
  entries_.clear();
  for (int i = 0; i < kCapacity; ++i) {
    const QString path = store.value(keyOf(i)).toString();
    if (!path.isEmpty() && !entries_.contains(path)) entries_.append(path);
  }
}

void RecentProjects::save() const {
  QSettings store;
  store.beginGroup(QString::fromLatin1(kGroup));
  for (int i = 0; i < kCapacity; ++i) {
    if (i < entries_.size())
      store.setValue(keyOf(i), entries_[i]);
    else
      store.remove(keyOf(i));
  }
}

}  // namespace kelo::ui
