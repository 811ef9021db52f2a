#pragma once
// A simulated PIC unit for the tests and the benchmark: picsim started as a process, its reset
// button, its stop and the dumps it leaves.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quorvex::picsim {

// The built tools and images.
QString ProgramPath();       // picsim
QString BootloaderHexPath(); // the TORV5 bootloader
QString DemoHexPath();       // the demo application

// Program memory words of the PIC16F877A, and the first word of the bootloader.
inline constexpr int ProgramWords = 8192;
inline constexpr int BootloaderStart = 0x1FA0;

struct Dumps {
    QByteArray program; // two bytes per word, low byte first, ProgramWords words
    QByteArray eeprom;  // one byte per address
};

// Reads an Intel HEX file into bytes from address 0 (data records and extended linear
// addresses); bytes no record gives are `fill`. Empty when the file cannot be read or holds a
// damaged record.
QByteArray ReadHexBytes(const QString& path, int size, char fill);

class Unit {
  public:
    // `link`: the name the unit's terminal is linked as. Real time unless `freeRunning`.
    explicit Unit(QString link, bool freeRunning = false);
    // Stops a unit still running (killed when it does not stop in time).
    ~Unit();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    // Starts gpsim and waits until the link exists; false with `error` set otherwise.
    bool start(QString* error);
    QString link() const { return link_; }
    // Presses and releases the unit's reset button.
    void pressReset();
    // Stops the unit and reads its dumps; false when it did not stop cleanly.
    bool stop(Dumps* dumps, QString* error = nullptr);

  private:
    QString link_;
    bool freeRunning_;
    QTemporaryDir dumpFolder_;
    QProcess process_;
};

// Reads from `link` (set raw at once) until the bytes read contain `expected` or `ms` pass;
// returns what was read.
QByteArray ReadLink(const QString& link, const QByteArray& expected, int ms);

} // namespace quorvex::picsim
