#pragma once
// Failures are values with a number and a text. A step that fails throws FailureError; the
// procedure that owns the step runs it through a Guard, which logs the failure with the
// procedure, its module or form and the line of the step, and lets the procedure go on.
#include <QString>
#include <exception>
#include <functional>
#include <source_location>

namespace quorvex {

// Classic run-time numbers where one exists, Windows Sockets numbers for socket failures.
namespace FailureNo {
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIOError = 57;
inline constexpr int DiskFull = 61;
// The device went away under an open port (an adapter unplugged).
inline constexpr int DeviceUnavailable = 68;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccessError = 75;
inline constexpr int InvalidPortNumber = 8002;
inline constexpr int PortAlreadyOpen = 8005;
inline constexpr int DeviceNotOpen = 8012;
inline constexpr int CannotSetPortSettings = 8015;
inline constexpr int WsaInterrupted = 10004;
inline constexpr int WsaAccess = 10013;
inline constexpr int WsaFault = 10014;
inline constexpr int WsaAddressFamilyNotSupported = 10047;
inline constexpr int WsaAddrNotAvail = 10049;
inline constexpr int WsaNetDown = 10050;
inline constexpr int WsaConnRefused = 10061;
inline constexpr int WsaHostNotFound = 11001;
inline constexpr int WsaTryAgain = 11002;
inline constexpr int WsaNoRecovery = 11003;
} // namespace FailureNo

struct Failure {
    int number = 0;
    QString description;
};

// The usual description of a number, for failures raised without one of their own.
QString DefaultDescription(int number);

class FailureError : public std::exception {
  public:
    explicit FailureError(Failure f) : failure_(std::move(f)) {}
    const Failure& failure() const { return failure_; }
    const char* what() const noexcept override { return "quorvex failure"; }

  private:
    Failure failure_;
};

[[noreturn]] void Raise(int number, const QString& description = {});

// Where the record goes. The error log implements it; tests record into a list.
class ErrorSink {
  public:
    virtual ~ErrorSink() = default;
    virtual void LogError(const QString& message) = 0;
};

// Names the place of a procedure: "of Module modFW" or "of Form frmFWUpdater".
struct Place {
    QString procedure;
    QString owner;
    bool isForm = false;
    static Place Module(QString procedure, QString module) {
        return {std::move(procedure), std::move(module), false};
    }
    static Place Form(QString procedure, QString form = QStringLiteral("frmFWUpdater")) {
        return {std::move(procedure), std::move(form), true};
    }
};

// "Error N (description) in procedure P of Module M on line L"
QString FailureMessage(const Failure& f, const Place& place, int line);

// Runs the steps of one procedure. A step that throws FailureError is logged and the procedure
// goes on with its next step; `failed()` remembers whether any step failed.
class Guard {
  public:
    using Special = std::function<bool(const Failure&)>;

    Guard(ErrorSink& log, Place place) : log_(log), place_(std::move(place)) {}

    // True when the step ran to its end.
    bool step(const std::function<void()>& fn,
              std::source_location where = std::source_location::current());
    // As step(), but `special` sees a failure first and returns true when it dealt with it;
    // a failure it dealt with is not logged (it still counts for failed()).
    bool step(const std::function<void()>& fn, const Special& special,
              std::source_location where = std::source_location::current());

    void log(const Failure& f, std::source_location where = std::source_location::current());
    bool failed() const { return failed_; }
    const Place& place() const { return place_; }
    ErrorSink& sink() { return log_; }

  private:
    ErrorSink& log_;
    Place place_;
    bool failed_ = false;
};

} // namespace quorvex
