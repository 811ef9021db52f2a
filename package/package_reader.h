#pragma once
// Reads a package file: its header first, so that the technician can confirm product and
// version, then its body, decoded in memory and read into the images. Failures come back with
// the text the technician is to see.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/progress_display.h"
#include "package/cipher.h"

#include <QString>
#include <optional>
#include <variant>

namespace quorvex {

// A serial body is Intel HEX text for 16 K of program memory, 256 EEPROM bytes and a few
// configuration bytes: a few hundred kilobytes even when every byte has a record of its own.
// A longer body is refused before it is decoded.
inline constexpr qint64 MaxSerialBodySize = 8 * 1024 * 1024;

// "Unable to access the DFF file. " and the failure's description.
QString AccessMessage(const Failure& f);
// The file in use or no permission: failures the technician can act on, told rather than
// logged.
bool IsShownToTheUser(const Failure& f);

// What kept a package from loading.
enum class LoadFault {
    Unreadable, // not there, not readable, or shorter than its header
    WrongKey,   // no key opens it
    Damaged,    // its firmware is damaged, too large, or holds what no unit can take
};

struct LoadRefusal {
    LoadFault fault = LoadFault::Unreadable;
    // What the technician is told; empty when there is nothing to tell (the log has it).
    QString message;
    // The key whose check the package passed, when one did: a package refused for its body
    // still tells whether its key fits.
    std::optional<KeyParts> key;
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
// a network unit, Intel HEX for a serial one. The plain body is only ever in this process's
// memory, never in a file, so no way the process ends can leave it behind (the largest a unit
// takes is about 32 MB). Running out of memory ends the load with a message, not the program.
std::variant<DecodedPackage, LoadRefusal> DecodePackage(const QString& path,
                                                        const DFFHeader& header,
                                                        ProgressDisplay* progress, ErrorSink& log);

} // namespace quorvex
