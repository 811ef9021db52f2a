#include "package/package_reader.h"
#include "base/catalogue.h"
#include "package/cipher.h"
#include "package/file_failure.h"
#include "package/intel_hex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <new>

namespace quorvex {

namespace {

// Names tried in one folder before it counts as unable to take the file: only a name that
// is already taken (by another load, or planted) leads to another try.
constexpr int NameAttempts = 8;
// The body of a network package is read into its image this much at a time.
constexpr qint64 ReadChunk = 64 * 1024;

// The decoded body must not outlive the load, whichever way the load ends.
class RemovedAtEnd {
  public:
    RemovedAtEnd(TemporaryBody& body, Guard& guard) : body_(body), guard_(guard) {}
    ~RemovedAtEnd() {
        if (!body_.remove())
            guard_.log(Failure{FailureNo::PathFileAccessError,
                               DefaultDescription(FailureNo::PathFileAccessError)});
    }
    RemovedAtEnd(const RemovedAtEnd&) = delete;
    RemovedAtEnd& operator=(const RemovedAtEnd&) = delete;

  private:
    TemporaryBody& body_;
    Guard& guard_;
};

QString InvalidPackageMessage(const DFFHeader& h) {
    return QStringLiteral("Invalid DFF file.  Please obtain the latest ") +
           ProductDisplayName(h.trimmedCode()) + QStringLiteral(" software and DFF files.");
}

QString DecodeFailureMessage(const Failure& f) {
    return QStringLiteral("Unable to decode the DFF file. ") + f.description;
}

QString TooLargeMessage(qint64 size, qint64 limit, bool network) {
    return QStringLiteral("The firmware in this DFF file is %1 bytes long; %2 at most %3 bytes.  "
                          "Unable to load the DFF file.")
        .arg(size)
        .arg(network ? QStringLiteral("a network unit takes")
                     : QStringLiteral("a serial unit's firmware file has"))
        .arg(limit);
}

QString OutOfMemoryMessage() {
    return QStringLiteral("Not enough memory to load the DFF file.");
}

// The whole decoded body of a network package, read a chunk at a time.
QByteArray ReadImage(QFileDevice& body) {
    const qint64 size = body.size();
    // The package was measured before it was decoded; one that grew since is not taken in.
    if (size > MaxNetworkImageSize)
        Raise(FailureNo::Overflow);
    QByteArray image(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const qint64 got = body.read(image.data() + done, std::min(ReadChunk, size - done));
        if (got < 0)
            RaiseFailure(TransferFailure(body));
        if (got == 0)
            Raise(InputPastEndOfFile, QStringLiteral("Input past end of file"));
        done += got;
    }
    return image;
}

} // namespace

QString AccessMessage(const Failure& f) {
    return QStringLiteral("Unable to access the DFF file. ") + f.description;
}

bool IsShownToTheUser(const Failure& f) {
    return f.number == FailureNo::FileAlreadyOpen || f.number == FailureNo::PermissionDenied;
}

TemporaryBody::TemporaryBody(const QString& programFolder, NameSource names) {
    if (!names)
        names = &TemporaryBody::RandomName;
    // Whether the program's folder can take the file is found out by making it there: its
    // permission bits say nothing about read-only media, access lists or another user's rights.
    if (!programFolder.isEmpty() && createIn(programFolder, names))
        return;
    privateFolder_ = std::make_unique<QTemporaryDir>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("quorvex-XXXXXX")));
    if (!privateFolder_->isValid()) {
        failure_ = Failure{FailureNo::PathFileAccessError,
                           DefaultDescription(FailureNo::PathFileAccessError)};
        return;
    }
    createIn(privateFolder_->path(), names);
}

TemporaryBody::~TemporaryBody() {
    remove();
}

QString TemporaryBody::RandomName() {
    return QStringLiteral("FWValidate.%1")
        .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

bool TemporaryBody::createIn(const QString& folder, const NameSource& names) {
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        file_.setFileName(QDir(folder).filePath(names()));
        // NewOnly: made here and now, or not at all; an existing file or link is never opened.
        if (file_.open(QIODevice::ReadWrite | QIODevice::NewOnly)) {
            created_ = true;
            file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            return true;
        }
        failure_ = OpenFailure(file_, file_.fileName(), OpenFor::Writing);
        const QFileInfo there(file_.fileName());
        if (!there.exists() && !there.isSymLink())
            return false; // the folder cannot take a file at all
    }
    return false;
}

bool TemporaryBody::remove() {
    if (!created_)
        return true;
    file_.close();
    const QFileInfo there(file_.fileName());
    if ((there.exists() || there.isSymLink()) && !QFile::remove(file_.fileName()))
        return false;
    created_ = false;
    return true;
}

namespace {

LoadRefusal Refusal(LoadStatus status, QString message) {
    return LoadRefusal{status, std::move(message)};
}

// 55 and 70 are for the technician to act on; everything else goes to the log only.
Guard::Special ShownNotLogged(QString& message) {
    return [&message](const Failure& f) {
        if (!IsShownToTheUser(f))
            return false;
        message = AccessMessage(f);
        return true;
    };
}

std::variant<DecodedPackage, LoadRefusal> Decode(const QString& path, const DFFHeader& header,
                                                 const QString& programFolder,
                                                 ProgressDisplay* progress, ErrorSink& log) {
    Guard guard(log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    TemporaryBody decoded(programFolder);
    RemovedAtEnd removed(decoded, guard);
    if (!decoded.isOpen()) {
        guard.log(decoded.failure());
        return Refusal(LoadStatus::Unreadable, DecodeFailureMessage(decoded.failure()));
    }

    // A failing key check writes nothing, so whichever key fits leaves its body behind.
    QFile& body = decoded.file();
    Failure whyThree;
    Failure whyTwo;
    DecodedPackage out;
    out.firmware.Header = header;
    const bool threePart =
        DecMD5(path, body, PackageKey(header, KeyParts::Three), progress, log, &whyThree);
    const bool twoPart =
        DecMD5(path, body, PackageKey(header, KeyParts::Two), progress, log, &whyTwo);
    if (!threePart && !twoPart) {
        // A key that fits but a body that could not be written (a full disk) is no fault of
        // the package.
        const Failure& why = whyThree.number != 0 ? whyThree : whyTwo;
        if (why.number != 0)
            return Refusal(LoadStatus::Unreadable, DecodeFailureMessage(why));
        return Refusal(LoadStatus::WrongKey, InvalidPackageMessage(header));
    }
    out.key = threePart ? KeyParts::Three : KeyParts::Two;

    QString shown;
    if (!guard.step(
            [&] {
                if (!body.seek(0))
                    RaiseFailure(TransferFailure(body));
            },
            ShownNotLogged(shown)))
        return Refusal(LoadStatus::Unreadable, shown);

    LoadedFirmware& fw = out.firmware;
    if (header.ChipId == NetworkChipId) {
        if (!guard.step([&] { fw.ProgramImage = ReadImage(body); }, ShownNotLogged(shown)))
            return Refusal(LoadStatus::Unreadable, shown);
        return out;
    }
    HexImages hex;
    if (!guard.step(
            [&] {
                hex = ReadIntelHex(body);
                if (body.error() != QFileDevice::NoError)
                    RaiseFailure(TransferFailure(body));
            },
            ShownNotLogged(shown)))
        return Refusal(LoadStatus::Unreadable, shown);
    if (!hex.ok)
        return Refusal(LoadStatus::Damaged, hex.message);
    const int unwritable = FirstUnwritableEepromAddress(hex.eepromPresent);
    if (unwritable >= 0)
        return Refusal(LoadStatus::Damaged, UnwritableEepromMessage(unwritable));
    fw.ProgramImage = hex.program;
    fw.EepromImage = hex.eeprom;
    fw.EepromPresent = hex.eepromPresent;
    fw.ConfigImage = hex.config;
    fw.ProgramEnd = hex.programEnd;
    return out;
}

} // namespace

std::variant<PackageHead, LoadRefusal> ReadPackageHeader(const QString& path, ErrorSink& log) {
    Guard guard(log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    QFile package(path);
    PackageHead head;
    QString shown;
    const bool read = guard.step(
        [&] {
            if (!package.open(QIODevice::ReadOnly))
                RaiseFailure(OpenFailure(package, path, OpenFor::Reading));
            const QByteArray bytes = package.read(DFFHeader::Size);
            if (package.error() != QFileDevice::NoError)
                RaiseFailure(TransferFailure(package));
            if (bytes.size() < DFFHeader::Size)
                Raise(InputPastEndOfFile, QStringLiteral("Input past end of file"));
            head.header = DFFHeader::fromBytes(bytes);
            head.bodySize = std::max<qint64>(0, package.size() - BodyOffset);
        },
        [&shown](const Failure& f) {
            // Every failure here is told; only those the technician can act on go unlogged.
            shown = AccessMessage(f);
            return IsShownToTheUser(f);
        });
    if (!read)
        return Refusal(LoadStatus::Unreadable, shown);
    return head;
}

std::optional<LoadRefusal> CheckBodySize(const PackageHead& head) {
    const bool network = head.header.ChipId == NetworkChipId;
    const qint64 limit = network ? MaxNetworkImageSize : MaxSerialBodySize;
    if (head.bodySize <= limit)
        return std::nullopt;
    return Refusal(LoadStatus::Damaged, TooLargeMessage(head.bodySize, limit, network));
}

std::variant<DecodedPackage, LoadRefusal> DecodePackage(const QString& path,
                                                        const DFFHeader& header,
                                                        const QString& programFolder,
                                                        ProgressDisplay* progress, ErrorSink& log) {
    try {
        return Decode(path, header, programFolder, progress, log);
    } catch (const std::bad_alloc&) {
        // What the load held is released by now and its temporary file is gone.
        Guard guard(log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
        guard.log(Failure{FailureNo::OutOfMemory, DefaultDescription(FailureNo::OutOfMemory)});
        return Refusal(LoadStatus::Damaged, OutOfMemoryMessage());
    }
}

} // namespace quorvex
