#include "base/failure.h"

namespace quorvex {

QString DefaultDescription(int number) {
    switch (number) {
    case FailureNo::Overflow:
        return QStringLiteral("Overflow");
    case FailureNo::OutOfMemory:
        return QStringLiteral("Out of memory");
    case FailureNo::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case FailureNo::BadFileName:
        return QStringLiteral("Bad file name or number");
    case FailureNo::FileNotFound:
        return QStringLiteral("File not found");
    case FailureNo::FileAlreadyOpen:
        return QStringLiteral("File already open");
    case FailureNo::DeviceIOError:
        return QStringLiteral("Device I/O error");
    case FailureNo::DiskFull:
        return QStringLiteral("Disk full");
    case FailureNo::DeviceUnavailable:
        return QStringLiteral("Device unavailable");
    case FailureNo::PermissionDenied:
        return QStringLiteral("Permission denied");
    case FailureNo::PathFileAccessError:
        return QStringLiteral("Path/File access error");
    case FailureNo::InvalidPortNumber:
        return QStringLiteral("Invalid port number");
    case FailureNo::PortAlreadyOpen:
        return QStringLiteral("Port already open");
    case FailureNo::DeviceNotOpen:
        return QStringLiteral("Device is not open");
    case FailureNo::CannotSetPortSettings:
        return QStringLiteral("Unable to set comm state");
    default:
        return {};
    }
}

void Raise(int number, const QString& description) {
    throw FailureError(
        Failure{number, description.isEmpty() ? DefaultDescription(number) : description});
}

QString FailureMessage(const Failure& f, const Place& place, int line) {
    // Joined, not formatted: a description may itself hold "%1" (a file name, say).
    return QStringLiteral("Error ") + QString::number(f.number) + QStringLiteral(" (") +
           f.description + QStringLiteral(") in procedure ") + place.procedure +
           (place.isForm ? QStringLiteral(" of Form ") : QStringLiteral(" of Module ")) +
           place.owner + QStringLiteral(" on line ") + QString::number(line);
}

bool Guard::step(const std::function<void()>& fn, std::source_location where) {
    return step(fn, Special{}, where);
}

bool Guard::step(const std::function<void()>& fn, const Special& special,
                 std::source_location where) {
    try {
        fn();
        return true;
    } catch (const FailureError& e) {
        failed_ = true;
        if (!(special && special(e.failure())))
            log_.LogError(FailureMessage(e.failure(), place_, int(where.line())));
        return false;
    }
}

void Guard::log(const Failure& f, std::source_location where) {
    failed_ = true;
    log_.LogError(FailureMessage(f, place_, int(where.line())));
}

} // namespace quorvex
