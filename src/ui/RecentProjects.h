#pragma once
// The recent-projects list behind the "近期项目" menu entries: at most four project paths, newest
// first, kept in the user's settings of organisation "Nuvar22".
#include <QString>
#include <QStringList>

namespace kelo::ui {

class RecentProjects {
 public:
  static constexpr int kCapacity = 4;

  // Reads the stored list.
  RecentProjects();

  const QStringList& entries() const { return entries_; }
  // Puts `path` first (moving it when it is already listed), keeps four, stores the list.
  void add(const QString& path);
  // Drops `path` (a project that could not be opened) and stores the list.
  void remove(const QString& path);

  void load();
  void save() const;

 private:
  QStringList entries_;
};

}  // namespace kelo::ui
