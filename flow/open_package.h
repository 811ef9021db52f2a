#pragma once
// Opening a package, as the window and quorvex-cli both do it: its header first, so that the
// technician can confirm product and version, then its body decoded in memory and read into
// the images.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "flow/report.h"
#include "package/cipher.h"
#include "package/package_reader.h"

#include <QString>
#include <optional>
#include <variant>

namespace quorvex {

enum class UnitKind { Serial, Network };

// A package as it was opened; nothing changes it afterwards. Its arrays share their bytes with
// every copy made of them.
class Package {
  public:
    Package(LoadedFirmware firmware, KeyParts key) : firmware_(std::move(firmware)), key_(key) {}

    const DFFHeader& header() const { return firmware_.Header; }
    // What a unit is given: the program image and, for a serial unit, the EEPROM and
    // configuration bytes and the program end.
    const LoadedFirmware& firmware() const { return firmware_; }
    UnitKind kind() const;
    // The key that opened it.
    KeyParts key() const { return key_; }

  private:
    LoadedFirmware firmware_;
    KeyParts key_;
};

// Why a package was not opened.
struct PackageRefusal {
    // What kept it from loading.
    LoadFault fault = LoadFault::Unreadable;
    // What the technician is told; empty when there is nothing to tell (the log has it).
    QString message;
    // Known once the header was read.
    std::optional<DFFHeader> header;
    // Known once a key passed the package's key check.
    std::optional<KeyParts> key;
};

// The technician did not confirm the product and version.
struct Declined {};

using OpenOutcome = std::variant<Package, PackageRefusal, Declined>;

// The first step: the package's header, read at once (a front end shows what it is for before
// anything is asked). A refusal is returned, not told.
std::variant<PackageHead, PackageRefusal> OpenPackageHeader(const QString& path, ErrorSink& log);

// The second step, given the first's header: measures the package, asks the confirmation
// through `report` and decodes the body, its progress going there. Holds the calling thread
// for the decode. A refusal is returned, not told.
OpenOutcome OpenPackageBody(const QString& path, const PackageHead& head, Report& report,
                            ErrorSink& log);

// Both steps, one after the other.
OpenOutcome OpenPackage(const QString& path, Report& report, ErrorSink& log);

} // namespace quorvex
