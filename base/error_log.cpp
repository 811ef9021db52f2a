#include "base/error_log.h"
#include "base/conversions.h"
#include "base/identity.h"
#include "base/log_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QStringList>
#include <optional>

namespace quorvex {

namespace {

// 400: a window shown modally while already shown; 401: a non-modal one while a modal is up.
bool IsNeverWorthARecord(const QString& message) {
    const QStringList pieces = message.split(QLatin1Char(' '));
    if (pieces.size() < 3)
        return false;
    // The failure number is the record's second word.
    const double number = LeadingNumber(pieces.at(1));
    return number == 400 || number == 401;
}

QString TooLargeText() {
    return QStringLiteral(
               "'ErrorLog.txt' is too large, indicating there's something wrong with the "
               "software and/or its components.\r\n\r\nPlease email the contents of "
               "'ErrorLog.txt' shown in the Notepad window to ") +
           QString::fromLatin1(Identity::Company) + QStringLiteral("'s support team.");
}

// The text in the system's encoding (UTF-8 on Linux, the ANSI code page on Windows), as the
// system's text viewer reads it; none when a character has no place in that encoding.
std::optional<QByteArray> InSystemEncoding(const QString& text) {
    QStringEncoder encode(QStringEncoder::System, QStringEncoder::Flag::Stateless);
    QByteArray bytes = encode(text);
    if (encode.hasError())
        return std::nullopt;
    return bytes;
}

QString LogIn(const QString& folder) {
    return QDir::toNativeSeparators(folder + QStringLiteral("/ErrorLog.txt"));
}

} // namespace

ErrorLog::ErrorLog(QString programFolder, Prompts& prompts, Clock clock, QString stateFolder)
    : stateFolder_(std::move(stateFolder)), prompts_(prompts), clock_(std::move(clock)) {
    if (programFolder.isEmpty())
        moveToStateFolder();
    else
        path_ = LogIn(programFolder);
}

void ErrorLog::moveToStateFolder() {
    inStateFolder_ = true;
    path_ = LogIn(stateFolder_);
}

LogOpen ErrorLog::open(QFile& f) {
    if (!inStateFolder_) {
        const LogOpen beside = OpenLog(path_, f);
        if (beside != LogOpen::NoPlace)
            return beside;
        // The program's folder cannot take the log (installed read-only, a read-only medium):
        // this record and every later one go to the user's state folder.
        moveToStateFolder();
    }
    // Made when first needed, private to the user as the base directory rules ask.
    const QDir state(stateFolder_);
    if (!state.exists()) {
        QDir().mkpath(QFileInfo(stateFolder_).absolutePath());
        QDir().mkdir(stateFolder_,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    return OpenLog(path_, f);
}

QByteArray ErrorLog::LastLine(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return LastLineOf(f);
}

QByteArray ErrorLog::LastLineOf(QFile& f) {
    const qint64 length = f.size();
    if (length <= 2)
        return {};
    // Step back from position length-2 (counting from 1) in chunks, so a large log is not read
    // whole just to find its last line.
    constexpr qint64 Chunk = 4096;
    QByteArray tail;
    qint64 end = length - 2; // bytes [0, end) hold positions 1..length-2
    while (end > 0) {
        const qint64 start = std::max<qint64>(0, end - Chunk);
        if (!f.seek(start))
            return {};
        const QByteArray block = f.read(end - start);
        if (block.size() != end - start)
            return {};
        for (qsizetype i = block.size() - 1; i >= 0; --i) {
            const char c = block.at(i);
            if (c == '\r' || c == '\n') {
                QByteArray line = block.mid(i + 1) + tail;
                // Up to the next line end (the final CR LF, or an earlier one).
                QByteArray rest = line;
                if (!f.seek(length - 2))
                    return {};
                rest += f.read(2);
                const qsizetype stop = [&] {
                    for (qsizetype k = 0; k < rest.size(); ++k)
                        if (rest.at(k) == '\r' || rest.at(k) == '\n')
                            return k;
                    return rest.size();
                }();
                return rest.left(stop);
            }
        }
        tail = block + tail;
        end = start;
    }
    return {};
}

void ErrorLog::LogError(const QString& message) {
    if (IsNeverWorthARecord(message))
        return;
    const std::optional<QByteArray> encoded = InSystemEncoding(message);
    if (!encoded)
        return; // the log cannot hold it: dropped, as any record the log cannot take

    // One open, by name, for everything below: a link in the log's place (which could send the
    // records into any file the technician may write) is refused by the open itself, and the
    // record is dropped. A new log is made exclusively; when another copy of the program made
    // it meanwhile, records are added to that one.
    QFile f;
    if (open(f) != LogOpen::Opened)
        return; // cannot be created or written: the record is dropped, the program goes on

    // Bytes against bytes, both in the log's encoding.
    const QByteArray last = LastLineOf(f);
    if (last.size() > 2 && last.contains(*encoded))
        return;

    if (f.size() == 0) {
        const QByteArray head = QString::fromLatin1(Identity::Title).toLatin1() + " Error Log\r\n" +
                                QByteArray(20, '=') + "\r\n";
        if (f.write(head) != head.size())
            return;
    } else if (f.size() >= SizeLimit) {
        f.close();
        prompts_.openInViewer(path_);
        prompts_.message(TooLargeText(), Icon::Information, AppTitle());
        QFile::remove(path_);
        return;
    }
    const QByteArray record =
        (ProgramVersionText() + ' ' + clock_().toString(QStringLiteral("MMddyy HHmm")) + ' ')
            .toLatin1() +
        *encoded + "\r\n";
    f.seek(f.size()); // the system appends in any case; Qt's position follows it
    f.write(record);
    f.close();
}

} // namespace quorvex
