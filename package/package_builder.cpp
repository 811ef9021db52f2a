#include "package/package_builder.h"
#include "base/conversions.h"
#include "package/cipher.h"
#include "package/maker_panel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvex {

namespace {

const char* const BoxNames[3] = {"major", "minor", "revision"};

QString InputFilter(const QString& code) {
    return code + QStringLiteral(" HEX Firmware Files (*.HEX)|*.HEX|All Files (*.*)|*.*");
}

QString PackageFilter(const QString& code) {
    return code + QStringLiteral(" Firmware Files (*.dff)|*.dff|All Files (*.*)|*.*");
}

QString NotWritten(const QString& target, const QString& why) {
    return QStringLiteral("The package %1 was not written: %2.")
        .arg(QDir::toNativeSeparators(target), why);
}

// Deleting first keeps the bytes of an older, longer package from trailing the new one.
void RemoveOldPackage(const QString& target) {
    QFile old(target);
    if (!old.remove())
        Raise(FailureNo::PathFileAccessError,
              QStringLiteral("the file already there could not be deleted (%1)")
                  .arg(old.errorString()));
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

BuildOutcome cmdMakeDFF_Click(Session& s, FileDialogBackend& dialogs, const MakerChoice& choice,
                              const std::function<void()>& hidePanel) {
    Guard guard(s.log, Place::Form(QStringLiteral("cmdMakeDFF_Click")));
    const QString code = choice.productCode;

    // Checked before anything is asked, so that a header never says other than the name.
    if (const auto refusal = RefusalOf(choice)) {
        ShowError(s.prompts, *refusal);
        return BuildOutcome::Refused;
    }

    QString input;
    QString inputTitle;
    QString inputFilter = InputFilter(code);
    int inputFilterIndex = 1;
    bool readOnly = false;
    int inputFlags = 0;
    const bool inputChosen =
        OpenDialog(dialogs, s.log, input, inputTitle, /*fileMustExist*/ true, /*multiSelect*/ false,
                   readOnly, /*hideReadOnly*/ false, inputFilter, inputFilterIndex, QString(),
                   QStringLiteral("Select HEX Firmware file "), QString(), nullptr, inputFlags);
    hidePanel();
    if (!inputChosen)
        return BuildOutcome::Cancelled;

    const DFFHeader header = HeaderOf(choice);

    QString target = ProposedPackageName(input, choice.versions);
    QString targetTitle;
    QString targetFilter = PackageFilter(code);
    int targetFilterIndex = 1;
    int targetFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!SaveDialog(dialogs, s.log, target, targetTitle, /*askBeforeOverwriting*/ true,
                    targetFilter, targetFilterIndex, FolderPart(input),
                    QStringLiteral("Save ") + code + QStringLiteral(" Firmware File"),
                    QStringLiteral("dff"), nullptr, targetFlags))
        return BuildOutcome::Cancelled;

    Failure why;
    const auto keepWhy = [&why](const Failure& f) {
        why = f;
        return false; // still logged
    };
    const bool targetReady = guard.step(
        [&] {
            // Deleting the input to make room for its own package would lose the firmware.
            const QFileInfo in(input);
            const QFileInfo out(target);
            if (in.exists() && out.exists() && in == out)
                Raise(FailureNo::PathFileAccessError,
                      QStringLiteral("it would replace the firmware file it is made from"));
            if (FileExists(target))
                RemoveOldPackage(target);
        },
        keepWhy);
    if (!targetReady) {
        ShowError(s.prompts, NotWritten(target, why.description));
        return BuildOutcome::Failed;
    }

    // EncMD5 logs its own failure; the maker is told here, and no half package is left behind.
    if (!EncMD5(input, target, PackageKey(header), header, &s.window.progress(), s.log, &why)) {
        guard.step([&] {
            if (FileExists(target) && !QFile::remove(target))
                Raise(FailureNo::PathFileAccessError);
        });
        ShowError(s.prompts, NotWritten(target, why.description));
        return BuildOutcome::Failed;
    }

    ShowInfo(s.prompts, QStringLiteral("Encoding finished."));
    s.window.closeWindow();
    return BuildOutcome::Written;
}

} // namespace quorvex
