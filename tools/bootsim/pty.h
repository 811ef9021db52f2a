#pragma once
// A pseudo-terminal pair in raw mode: the master end for the simulated unit (or a test), the
// slave end for the updater's serial port. The slave stays open here as well, so that the
// master never reads end-of-file while the updater has its port closed.
#include <QByteArray>
#include <QString>

namespace quorvex::bootsim {

class PtyPair {
  public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Opens the pair; false with `error` set when the system refuses.
    bool open(QString* error = nullptr);
    void close();
    bool isOpen() const { return master_ >= 0; }

    int masterFd() const { return master_; }
    // "/dev/pts/N"
    QString slavePath() const { return slavePath_; }
    // The N of /dev/pts/N: unique among the pairs open at one time.
    int slaveNumber() const;

    // Writes all bytes to the master end.
    bool write(const QByteArray& bytes);
    // Reads from the master end until `count` bytes came or `timeoutMs` passed.
    QByteArray read(int count, int timeoutMs);

  private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

} // namespace quorvex::bootsim
