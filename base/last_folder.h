#pragma once
// The folder of the last package opened, kept between runs in the user's configuration, so
// that the first open dialog of a run starts where the technician left off.
#include <QString>

namespace quorvex {

class LastFolder {
  public:
    // `configFolder` holds the file; empty keeps nothing and recalls nothing.
    explicit LastFolder(QString configFolder) : configFolder_(std::move(configFolder)) {}

    // The folder kept by an earlier run; empty when none was kept or it is no folder now.
    QString recall() const;
    // Keeps `folder` for later runs. The file is written new under a name of its own and then
    // renamed into place, so a link put in its place is replaced, never followed. A failure
    // (path/file access, 75) leaves the folder kept before.
    void keep(const QString& folder);

    // The user's configuration folder for the program: $XDG_CONFIG_HOME/quorvex, else
    // ~/.config/quorvex (on Windows the local application data folder's quorvex). Not made
    // here.
    static QString UserConfigFolder();

  private:
    QString file() const;
    QString configFolder_;
};

} // namespace quorvex
