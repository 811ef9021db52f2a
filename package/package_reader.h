#pragma once
// Reads a package file: its header first, so that the technician can confirm product and
// version, then its body, decoded into a temporary file of the load's own and read into the
// images. Failures come back with the text the technician is to see.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/progress_display.h"
#include "package/cipher.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

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

// "Unable to access the DFF file. " and the failure's description.
QString AccessMessage(const Failure& f);
// The file in use or no permission: failures the technician can act on, told rather than
// logged.
bool IsShownToTheUser(const Failure& f);

// Why a package was not loaded, as the command line's exit status tells it.
enum class LoadStatus {
    Unreadable = 3, // not there, not readable, or shorter than its header
    WrongKey = 4,   // no key opens it
    Damaged = 5,    // its firmware is damaged, too large, or holds what no unit can take
};

struct LoadRefusal {
    LoadStatus status = LoadStatus::Unreadable;
    // What the technician is told; empty when there is nothing to tell (the log has it).
    QString message;
};

struct PackageHead {
    DFFHeader header;
    // The scrambled body's length: what follows the header, seed and key check.
    qint64 bodySize = 0;
};

// Reads the header. Failures are logged, except those the technician can act on (the file in
// use, no permission).
std::variant<PackageHead, LoadRefusal> ReadPackageHeader(const QString& path, ErrorSink& log);

// A body larger than any unit can take is refused by its length, before a byte of it is
// decoded: decoding it could fill the disk or the memory.
std::optional<LoadRefusal> CheckBodySize(const PackageHead& head);

struct DecodedPackage {
    LoadedFirmware firmware;
    KeyParts key = KeyParts::Three;
};

// Decodes the body with whichever key opens it and reads it into the images: a raw image for
// a network unit, Intel HEX for a serial one. The decoded body never outlives the call.
// Running out of memory ends the load with a message, not the program.
std::variant<DecodedPackage, LoadRefusal> DecodePackage(const QString& path,
                                                        const DFFHeader& header,
                                                        const QString& programFolder,
                                                        ProgressDisplay* progress, ErrorSink& log);

} // namespace quorvex
