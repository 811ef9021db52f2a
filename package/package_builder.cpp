#include "package/package_builder.h"
#include "base/conversions.h"
#include "package/cipher.h"
#include "package/file_failure.h"
#include "package/maker_panel.h"
#include "package/unpublished_file.h"

#include <QDir>
#include <QFileInfo>

namespace quorvex {

namespace {

const char* const BoxNames[3] = {"major", "minor", "revision"};

QString NotWritten(const QString& target, const QString& why) {
    return QStringLiteral("The package %1 was not written: %2.")
        .arg(QDir::toNativeSeparators(target), why);
}

} // namespace

std::optional<QString> RefusalOf(const MakerChoice& choice) {
    for (int i = 0; i < 3; ++i) {
        if (ReadVersionBox(choice.versions[i]))
            continue;
        QString text = QStringLiteral("The %1 version box holds \"%2\". It accepts a whole number "
                                      "from 0 to 255.")
                           .arg(QLatin1String(BoxNames[i]), choice.versions[i]);
        // The two boxes a one-number product hides still go into its header.
        if (i > 0 && HidesMinorAndRevision(choice.productCode))
            text += QStringLiteral(" The box is hidden for %1; pick another product to see it.")
                        .arg(choice.productCode);
        return text;
    }
    if (!ChipIdOfEntry(choice.chipEntry))
        return QStringLiteral("The chip list holds \"%1\", which names no chip id. It accepts an "
                              "entry of the form model [id] with an id from 0 to 255.")
            .arg(choice.chipEntry);
    return std::nullopt;
}

DFFHeader HeaderOf(const MakerChoice& choice) {
    DFFHeader h;
    h.setProductCode(choice.productCode);
    h.VerMajor = std::uint8_t(ReadVersionBox(choice.versions[0]).value_or(0));
    h.VerMinor = std::uint8_t(ReadVersionBox(choice.versions[1]).value_or(0));
    h.VerRevision = std::uint8_t(ReadVersionBox(choice.versions[2]).value_or(0));
    h.ChipId = std::uint8_t(ChipIdOfEntry(choice.chipEntry).value_or(0));
    return h;
}

QString ProposedPackageName(const QString& inputPath, const std::array<QString, 3>& versions) {
    return FileNamePart(inputPath, 1) + QStringLiteral(" v") + versions[0] + QLatin1Char('.') +
           versions[1] + QLatin1Char('.') + versions[2];
}

std::optional<QString> WritePackage(const QString& input, const QString& target,
                                    const DFFHeader& header, const ByteProgress& progress,
                                    ErrorSink& log) {
    Guard guard(log, Place::Form(QStringLiteral("cmdMakeDFF_Click")));
    Failure why;
    const auto keepWhy = [&why](const Failure& f) {
        why = f;
        return false; // still logged
    };
    const bool targetReady = guard.step(
        [&] {
            // Replacing the input by its own package would lose the firmware.
            const QFileInfo in(input);
            const QFileInfo out(target);
            if (in.exists() && out.exists() && in == out)
                Raise(FailureNo::PathFileAccessError,
                      QStringLiteral("it would replace the firmware file it is made from"));
        },
        keepWhy);
    if (!targetReady)
        return NotWritten(target, why.description);

    // Builds that were killed here leave nothing, except where the file system names every
    // file: their parts go now.
    RemoveAbandonedParts(QFileInfo(target).absolutePath());
    // Until it is complete the package has no name, so the old one stays whole and loadable
    // whichever way this build ends.
    UnpublishedFile part(target);
    if (!guard.step(
            [&] {
                if (!part.isOpen())
                    RaiseFailure(part.failure());
            },
            keepWhy))
        return NotWritten(target, why.description);
    // The encoding logs its own failure.
    if (!EncodePackage(input, part.file(), PackageKey(header), header, progress, log, &why))
        return NotWritten(target, why.description);
    if (!guard.step(
            [&] {
                if (!part.publish())
                    RaiseFailure(part.failure());
            },
            keepWhy))
        return NotWritten(target, why.description);
    return std::nullopt;
}

} // namespace quorvex
