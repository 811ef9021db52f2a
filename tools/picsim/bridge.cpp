// A gpsim module that puts a simulated PIC's serial port on a pseudo-terminal.
//
// Two pins: "in" is wired to the PIC's TX pin and decoded as 8-N-1 at the module's baud rate;
// "out" is wired to the PIC's RX pin and driven with the bytes the updater writes to the
// terminal, bit by bit at the same rate. The bit times are counted in the PIC's own instruction
// cycles, so with gpsim's real-time mode on, a byte takes its wire time.
//
// Attributes, set from the start-up script before "run":
//   link          the name that is linked to the terminal (a link of our own is replaced)
//   baud          the line rate, 9600 by default
//   realtime      true: gpsim keeps the simulation at the wall clock's pace
//   control       a socket inherited from the caller: the module writes "ready PATH\n" once
//                 the link exists; "R" resets the PIC as its reset button would; "Q" or the
//                 caller's end closing stops the simulation after the dumps are written
//   program_dump  program memory as Intel HEX (two bytes per word, low byte first)
//   eeprom_dump   the data EEPROM as Intel HEX
// Dumps are new files, never written through a link.
#include <gpsim/breakpoints.h>
#include <gpsim/eeprom.h>
#include <gpsim/exports.h>
#include <gpsim/gpsim_time.h>
#include <gpsim/modules.h>
#include <gpsim/pic-processor.h>
#include <gpsim/processor.h>
#include <gpsim/registers.h>
#include <gpsim/stimuli.h>
#include <gpsim/value.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int DefaultBaud = 9600;
// How often the terminal and the control socket are looked at, in simulated time.
constexpr double PollSeconds = 0.001;
// The adapter's pull-up on the PIC's TX line.
constexpr double PullUpOhms = 10e3;
// How long the reset button is held.
constexpr double ResetSeconds = 0.001;

class Bridge;

// Calls a member of the bridge when the cycle counter reaches the cycle it was armed for.
class Timer : public TriggerObject {
  public:
    Timer(Bridge* bridge, void (Bridge::*action)()) : bridge_(bridge), action_(action) {}
    void callback() override;
    void armAt(guint64 cycle) {
        if (armed_)
            get_cycles().clear_break(this);
        armed_ = true;
        get_cycles().set_break(cycle, this);
    }
    void fired() { armed_ = false; }
    void cancel() {
        if (armed_)
            get_cycles().clear_break(this);
        armed_ = false;
    }

  private:
    Bridge* bridge_;
    void (Bridge::*action_)();
    bool armed_ = false;
};

// The pin wired to the PIC's transmitter: every change of level is reported. It pulls the line
// up, as the adapter's receiver does, so that the PIC's pin reads idle while it is not yet
// driven (during reset, before the serial port is set up).
class ListeningPin : public IOPIN {
  public:
    ListeningPin(Bridge* bridge, const char* name)
        : IOPIN(name, 5.0, PullUpOhms), bridge_(bridge) {}
    void setDrivenState(bool state) override;

  private:
    Bridge* bridge_;
};

class RealtimeAttribute : public Boolean {
  public:
    RealtimeAttribute() : Boolean("realtime", false, "keep pace with the wall clock") {}
    void set(bool on) override {
        Boolean::set(on);
        EnableRealTimeMode(on);
    }
    void set(Value* v) override {
        Boolean::set(v);
        bool on = false;
        get(on);
        EnableRealTimeMode(on);
    }
};

std::string TextOf(String* s) {
    char buffer[4096] = {};
    s->get(buffer, sizeof buffer);
    return buffer;
}

std::int64_t NumberOf(Integer* i) {
    gint64 v = 0;
    i->get(v);
    return v;
}

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    // The updater's side must be raw at once, before it opens the port.
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// One record as text: count, address, type, data, checksum.
std::string HexRecord(int type, unsigned address, const std::uint8_t* data, unsigned count) {
    std::string line;
    char part[32];
    unsigned sum = count + ((address >> 8) & 0xFF) + (address & 0xFF) + unsigned(type);
    std::snprintf(part, sizeof part, ":%02X%04X%02X", count, address & 0xFFFF, type);
    line += part;
    for (unsigned i = 0; i < count; ++i) {
        std::snprintf(part, sizeof part, "%02X", data[i]);
        line += part;
        sum += data[i];
    }
    std::snprintf(part, sizeof part, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    line += part;
    return line;
}

// Writes `bytes` (from address 0) as Intel HEX into a new file; false when the file exists or
// cannot be written.
bool WriteHexFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "bridge: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::string text;
    unsigned upper = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        if ((at >> 16) != upper) {
            upper = unsigned(at >> 16);
            const std::uint8_t ext[2] = {std::uint8_t(upper >> 8), std::uint8_t(upper)};
            text += HexRecord(4, 0, ext, 2);
        }
        const unsigned count = unsigned(std::min<std::size_t>(16, bytes.size() - at));
        text += HexRecord(0, unsigned(at), bytes.data() + at, count);
    }
    text += HexRecord(1, 0, nullptr, 0);
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else if (n < 0 && errno != EINTR)
            ok = false;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "bridge: cannot write %s\n", path.c_str());
    return ok;
}

class Bridge : public Module {
  public:
    explicit Bridge(const char* name) : Module(name, "serial port on a pseudo-terminal") {
        create_pkg(2);
        in_ = new ListeningPin(this, "from_pic");
        out_ = new IO_bi_directional("to_pic");
        out_->update_direction(1, true);
        out_->putState(true); // an idle line is high
        assign_pin(1, in_);
        assign_pin(2, out_);
        addSymbol(in_);
        addSymbol(out_);
        addSymbol(link_ = new String("link", "", "name linked to the terminal"));
        addSymbol(baud_ = new Integer("baud", DefaultBaud, "line rate"));
        addSymbol(control_ = new Integer("control", -1, "the caller's socket"));
        addSymbol(programDump_ = new String("program_dump", "", "program memory at the end"));
        addSymbol(eepromDump_ = new String("eeprom_dump", "", "data EEPROM at the end"));
        addSymbol(realtime_ = new RealtimeAttribute);
        // The first poll opens the terminal: by then the script has set the attributes.
        poll_.armAt(get_cycles().get() + 1);
    }

    ~Bridge() override {
        poll_.cancel();
        sample_.cancel();
        send_.cancel();
        reset_.cancel();
        if (!linkMade_.empty())
            ::unlink(linkMade_.c_str());
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
        for (gpsimObject* o :
             {static_cast<gpsimObject*>(link_), static_cast<gpsimObject*>(baud_),
              static_cast<gpsimObject*>(control_), static_cast<gpsimObject*>(programDump_),
              static_cast<gpsimObject*>(eepromDump_), static_cast<gpsimObject*>(realtime_)})
            removeSymbol(o);
        removeSymbol(in_);
        removeSymbol(out_);
        delete link_;
        delete baud_;
        delete control_;
        delete programDump_;
        delete eepromDump_;
        delete realtime_;
    }

    static Module* Construct(const char* name) { return new Bridge(name); }

    // The PIC's TX line changed; a fall on an idle line is a start bit.
    void lineChanged(bool high) {
        // A fall counts only on a line that has been high: the first level the pin is given
        // is no edge.
        const bool wasIdle = idle_;
        idle_ = high;
        if (receiving_ || high || !wasIdle || cyclesPerBit_ <= 0)
            return;
        receiving_ = true;
        rxStart_ = get_cycles().get();
        rxByte_ = 0;
        rxBit_ = -1; // the start bit is looked at in its middle, as a UART does
        sample_.armAt(rxStart_ + guint64(std::llround(0.5 * cyclesPerBit_)));
    }

  private:
    void onPoll() {
        poll_.fired();
        if (!started_ && !start()) {
            stop();
            return;
        }
        pumpTerminal();
        pumpControl();
        if (stopping_)
            return;
        poll_.armAt(get_cycles().get() + cyclesFor(PollSeconds));
    }

    guint64 cyclesFor(double seconds) const {
        return std::max<guint64>(1, guint64(seconds * get_cycles().instruction_cps()));
    }

    bool start() {
        started_ = true;
        const std::int64_t baud = NumberOf(baud_);
        if (baud <= 0) {
            std::fprintf(stderr, "bridge: a baud rate of %lld is no rate\n", (long long)baud);
            return false;
        }
        cyclesPerBit_ = get_cycles().instruction_cps() / double(baud);
        control_fd_ = int(NumberOf(control_));
        if (control_fd_ >= 0)
            fcntl(control_fd_, F_SETFL, fcntl(control_fd_, F_GETFL) | O_NONBLOCK);
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            std::perror("bridge: pseudo-terminal");
            return false;
        }
        const char* name = ptsname(master_);
        if (!name) {
            std::perror("bridge: ptsname");
            return false;
        }
        const std::string slavePath = name;
        // Held open here too, so that the master never reads end-of-file while the updater
        // has its port closed.
        slave_ = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0 || !MakeRaw(slave_) || !MakeRaw(master_)) {
            std::perror("bridge: raw mode");
            return false;
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        const std::string link = TextOf(link_);
        if (!link.empty()) {
            // Only a link is ever replaced: the name may belong to a real device.
            struct stat existing {};
            if (::lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
                std::fprintf(stderr, "bridge: %s exists and is not a link\n", link.c_str());
                return false;
            }
            ::unlink(link.c_str());
            if (::symlink(slavePath.c_str(), link.c_str()) != 0) {
                std::fprintf(stderr, "bridge: cannot link %s: %s\n", link.c_str(),
                             std::strerror(errno));
                return false;
            }
            linkMade_ = link;
        }
        tell("ready " + slavePath + "\n");
        return true;
    }

    void tell(const std::string& line) {
        if (control_fd_ < 0)
            return;
        (void)!::send(control_fd_, line.data(), line.size(), MSG_NOSIGNAL);
    }

    // Bytes the updater wrote wait here until the line to the PIC is free.
    void pumpTerminal() {
        std::uint8_t buffer[256];
        for (;;) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            toPic_.insert(toPic_.end(), buffer, buffer + n);
        }
        if (!sending_ && !toPic_.empty())
            startByte();
    }

    void pumpControl() {
        if (control_fd_ < 0)
            return;
        char buffer[64];
        for (;;) {
            const ssize_t n = ::recv(control_fd_, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                return;
            if (n <= 0) { // the caller is gone
                stop();
                return;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == 'R')
                    pressReset();
                else if (buffer[i] == 'Q')
                    stop();
            }
            if (stopping_)
                return;
        }
    }

    void pressReset() {
        Processor* cpu = get_active_cpu();
        if (!cpu)
            return;
        cpu->reset(MCLR_RESET);
        reset_.armAt(get_cycles().get() + cyclesFor(ResetSeconds));
    }

    void onResetReleased() {
        reset_.fired();
        if (auto* pic = dynamic_cast<pic_processor*>(get_active_cpu()))
            pic->reset(EXIT_RESET);
    }

    // Writes the dumps, tells the caller and stops the simulation; gpsim then goes on with the
    // script's next line.
    void stop() {
        if (stopping_)
            return;
        stopping_ = true;
        bool ok = true;
        Processor* cpu = get_active_cpu();
        const std::string programPath = TextOf(programDump_);
        if (cpu && !programPath.empty()) {
            std::vector<std::uint8_t> bytes;
            const unsigned words = cpu->program_memory_size();
            bytes.reserve(2 * words);
            for (unsigned a = 0; a < words; ++a) {
                const unsigned w = cpu->get_program_memory_at_address(a);
                bytes.push_back(std::uint8_t(w & 0xFF));
                bytes.push_back(std::uint8_t(w >> 8));
            }
            ok = WriteHexFile(programPath, bytes) && ok;
        }
        const std::string eepromPath = TextOf(eepromDump_);
        auto* pic = dynamic_cast<pic_processor*>(cpu);
        if (pic && pic->get_eeprom() && !eepromPath.empty()) {
            EEPROM* e = pic->get_eeprom();
            std::vector<std::uint8_t> bytes;
            for (unsigned a = 0; a < e->get_rom_size(); ++a)
                bytes.push_back(std::uint8_t(e->get_rom()[a]->get_value()));
            ok = WriteHexFile(eepromPath, bytes) && ok;
        }
        tell(ok ? "stopped\n" : "stopped with errors\n");
        poll_.cancel();
        sample_.cancel();
        send_.cancel();
        reset_.cancel();
        get_bp().halt();
    }

    void onSample() {
        sample_.fired();
        const bool level = in_->getDrivenState();
        if (rxBit_ < 0) {
            if (level) { // a glitch, no start bit
                receiving_ = false;
                idle_ = true;
                return;
            }
            rxBit_ = 0;
            sample_.armAt(rxStart_ + guint64(std::llround(1.5 * cyclesPerBit_)));
            return;
        }
        if (rxBit_ < 8) {
            if (level)
                rxByte_ |= std::uint8_t(1u << rxBit_);
            ++rxBit_;
            sample_.armAt(rxStart_ + guint64(std::llround((1.5 + rxBit_) * cyclesPerBit_)));
            return;
        }
        // The stop bit: a byte without one is a framing error, as a UART would count it, and
        // is passed on all the same, as a UART would read it.
        receiving_ = false;
        const std::uint8_t byte = rxByte_;
        if (master_ >= 0)
            (void)!::write(master_, &byte, 1);
        idle_ = level; // still low: a break, and no byte until the line is high again
    }

    void startByte() {
        sending_ = true;
        txByte_ = toPic_.front();
        toPic_.pop_front();
        txBit_ = 0;
        txStart_ = get_cycles().get();
        out_->putState(false); // start bit
        send_.armAt(txStart_ + guint64(std::llround(cyclesPerBit_)));
    }

    void onSend() {
        send_.fired();
        ++txBit_;
        if (txBit_ <= 8) {
            out_->putState(((txByte_ >> (txBit_ - 1)) & 1) != 0);
        } else if (txBit_ == 9) {
            out_->putState(true); // stop bit
        } else {
            sending_ = false;
            if (!toPic_.empty())
                startByte();
            return;
        }
        send_.armAt(txStart_ + guint64(std::llround((txBit_ + 1) * cyclesPerBit_)));
    }

    ListeningPin* in_ = nullptr;
    IO_bi_directional* out_ = nullptr;
    String* link_ = nullptr;
    Integer* baud_ = nullptr;
    Integer* control_ = nullptr;
    String* programDump_ = nullptr;
    String* eepromDump_ = nullptr;
    RealtimeAttribute* realtime_ = nullptr;

    Timer poll_{this, &Bridge::onPoll};
    Timer sample_{this, &Bridge::onSample};
    Timer send_{this, &Bridge::onSend};
    Timer reset_{this, &Bridge::onResetReleased};

    bool started_ = false;
    bool stopping_ = false;
    double cyclesPerBit_ = 0;
    int master_ = -1;
    int slave_ = -1;
    int control_fd_ = -1;
    std::string linkMade_;

    bool idle_ = false;
    bool receiving_ = false;
    guint64 rxStart_ = 0;
    int rxBit_ = 0;
    std::uint8_t rxByte_ = 0;

    std::deque<std::uint8_t> toPic_;
    bool sending_ = false;
    guint64 txStart_ = 0;
    int txBit_ = 0;
    std::uint8_t txByte_ = 0;
};

void Timer::callback() {
    (bridge_->*action_)();
}

void ListeningPin::setDrivenState(bool state) {
    IOPIN::setDrivenState(state);
    bridge_->lineChanged(state);
}

} // namespace

extern "C" Module_Types* get_mod_list() {
    static Module_Types types[] = {
        {{"quorvex_bridge", "quorvex_bridge"}, Bridge::Construct},
        {{nullptr, nullptr}, nullptr},
    };
    return types;
}
