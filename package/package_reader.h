#pragma once
// Loads a package file into the shared LoadedFirmware: reads the header, prepares the window
// for a serial or a network unit, asks the technician to confirm product and version, decodes
// the body into a temporary file and reads it into the images.
#include "base/failure.h"
#include "flow/session.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace quorvex {

// A serial body is Intel HEX text for 16 K of program memory, 256 EEPROM bytes and a few
// configuration bytes: a few hundred kilobytes even when every byte has a record of its own.
// A longer body is refused before it is decoded.
inline constexpr qint64 MaxSerialBodySize = 8 * 1024 * 1024;

// The file one load decodes its body into, owned by that load alone. It is made new (never an
// existing file, never through a link) under a name no other load uses: "FWValidate." and a
// random suffix. It goes in the program's folder when a file can be made there, else in a
// private folder made for this load inside the system's temporary folder (a fixed name there
// could be planted by another user). File and folder go when this does, whichever way the
// load ends.
class TemporaryBody {
  public:
    using NameSource = std::function<QString()>;
    // `names` gives the file names to try, a new one after each name that is taken; random
    // names by default.
    explicit TemporaryBody(const QString& programFolder, NameSource names = {});
    ~TemporaryBody();
    TemporaryBody(const TemporaryBody&) = delete;
    TemporaryBody& operator=(const TemporaryBody&) = delete;

    // Open for reading and writing, when it could be made.
    bool isOpen() const { return file_.isOpen(); }
    QFile& file() { return file_; }
    QString path() const { return file_.fileName(); }
    // Why no file could be made.
    const Failure& failure() const { return failure_; }
    // Closes and deletes the file; false when it could not be deleted.
    bool remove();

    static QString RandomName();

  private:
    bool createIn(const QString& folder, const NameSource& names);

    std::unique_ptr<QTemporaryDir> privateFolder_;
    QFile file_;
    Failure failure_;
    bool created_ = false;
};

// True when the package was decoded and read completely into s.firmware. Shows its own
// messages. `refreshPorts` lists the serial ports again (the window's Refresh). Running out of
// memory ends the load with a message, not the program.
bool LoadDFFFile(Session& s, const QString& path, const std::function<void()>& refreshPorts);

} // namespace quorvex
