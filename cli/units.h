#pragma once
// The only place where quorvex-cli meets the package reader, the flashing sequence and the
// TFTP client: loading a package, flashing one unit on one port, uploading to one target.
// Everything around it (arguments, threads, tables, JSON) knows only what is declared here.
#include "base/failure.h"
#include "base/loaded_firmware.h"
#include "base/progress_display.h"
#include "serial/port_discovery.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace quorvex::cli {

// Exit statuses of a package that does not load, as `info` reports them.
enum class PackageStatus { Valid = 0, Unreadable = 3, WrongKey = 4, Damaged = 5 };

struct PackageFacts {
    QString path;
    bool headerRead = false;
    DFFHeader header;
    PackageStatus status = PackageStatus::Unreadable;
    // The window's text for a package it refuses; may be empty (the window says nothing).
    QString reason;
    // "three-part" or "two-part": the key that opened the package.
    QString key;
    LoadedFirmware firmware; // when valid
};

// Reads, checks and decodes a package as the window loads it, the question answered Yes. The
// decoded body exists only in the reader's own temporary file, gone when this returns.
PackageFacts ReadPackage(const QString& path, ErrorSink& log, ProgressDisplay* progress);

// A port as the user named it: a device (or a link to one), or "Com n" / "COMn".
struct PortChoice {
    QString given;
    int number = 1;
    QString device; // empty: no such port
};
// `folder` holds the numbered devices ("/dev"); "Com n" is looked up there as the window
// numbers its ports.
PortChoice ResolvePort(const QString& given, const QString& folder);

// Ports 1..16 that open now, as the window lists them.
QList<PortEntry> ListPorts(const QString& folder);

// What one unit's flash tells as it goes. Called on the unit's own thread.
class UnitEvents {
  public:
    virtual ~UnitEvents() = default;
    virtual void stage(const QString& text) = 0;            // countdown, "Flashing firmware..."
    virtual void progress(double fraction) = 0;             // 0..1 through the flash image
    virtual void told(const QString& text, bool error) = 0; // what the window's box would say
};

struct FlashOutcome {
    bool opened = false;
    bool unitFound = false; // a hello answer came
    std::optional<std::uint8_t> identification;
    int flashBlocks = 0; // flash frames the unit accepted
    int eepromBytes = 0;
    bool flashed = false;
    // The window's text for the outcome (a refusal: its caption).
    QString result;
};

// Opens the port with the product's line settings, runs the flashing sequence, closes the
// port. Runs on the calling thread, which must have its own event dispatcher (a QThread).
// `helloAttempts`: hellos sent while the unit is reset, at least 1.
FlashOutcome FlashUnit(const LoadedFirmware& firmware, const PortChoice& port, int helloAttempts,
                       ErrorSink& log, UnitEvents& events);

class UploadEvents {
  public:
    virtual ~UploadEvents() = default;
    virtual void status(const QString& text) = 0; // every status text but the block steps
    virtual void block(int number) = 0;           // a block was sent
};

// An upload ends when no block has been acknowledged for this long, however much else the unit
// sends meanwhile (busy bytes, repeated acknowledgements): the TFTP client's own rule.
extern const int UploadStallSeconds;

struct UploadOutcome {
    bool finished = false;
    QString lastStatus;
};

// The window's network upload to one target: reboot datagrams, the write request, the blocks.
// Returns when the transfer is over.
UploadOutcome UploadTo(const LoadedFirmware& firmware, const QString& target, int tftpPort,
                       ErrorSink& log, UploadEvents& events);

} // namespace quorvex::cli
