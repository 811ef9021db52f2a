#include "flow/make_package.h"

#include "base/conversions.h"

namespace quorvex {

namespace {

QString InputFilter(const QString& code) {
    return code + QStringLiteral(" HEX Firmware Files (*.HEX)|*.HEX|All Files (*.*)|*.*");
}

QString PackageFilter(const QString& code) {
    return code + QStringLiteral(" Firmware Files (*.dff)|*.dff|All Files (*.*)|*.*");
}

// The firmware file the maker picks; empty when the dialog was cancelled.
QString ChooseInput(FileDialogBackend& dialogs, ErrorSink& log, const QString& code) {
    QString input;
    QString title;
    QString filter = InputFilter(code);
    int filterIndex = 1;
    bool readOnly = false;
    int flags = 0;
    if (!OpenDialog(dialogs, log, input, title, /*fileMustExist*/ true, /*multiSelect*/ false,
                    readOnly, /*hideReadOnly*/ false, filter, filterIndex, QString(),
                    QStringLiteral("Select HEX Firmware file "), QString(), nullptr, flags))
        return {};
    return input;
}

// Where the package goes; empty when the dialog was cancelled.
QString ChooseTarget(FileDialogBackend& dialogs, ErrorSink& log, const QString& code,
                     const QString& input, const std::array<QString, 3>& versions) {
    QString target = ProposedPackageName(input, versions);
    QString title;
    QString filter = PackageFilter(code);
    int filterIndex = 1;
    int flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!SaveDialog(dialogs, log, target, title, /*askBeforeOverwriting*/ true, filter, filterIndex,
                    FolderPart(input),
                    QStringLiteral("Save ") + code + QStringLiteral(" Firmware File"),
                    QStringLiteral("dff"), nullptr, flags))
        return {};
    return target;
}

} // namespace

BuildOutcome cmdMakeDFF_Click(ErrorSink& log, Prompts& prompts, WindowPort& window,
                              FileDialogBackend& dialogs, const MakerChoice& choice,
                              const std::function<void()>& hidePanel) {
    const QString code = choice.productCode;
    // Checked before anything is asked, so that a header never says other than the name.
    if (const auto refusal = RefusalOf(choice)) {
        ShowError(prompts, *refusal);
        return BuildOutcome::Refused;
    }

    const QString input = ChooseInput(dialogs, log, code);
    hidePanel();
    if (input.isEmpty())
        return BuildOutcome::Cancelled;
    const QString target = ChooseTarget(dialogs, log, code, input, choice.versions);
    if (target.isEmpty())
        return BuildOutcome::Cancelled;

    if (const auto failure =
            WritePackage(input, target, HeaderOf(choice), &window.progress(), log)) {
        ShowError(prompts, *failure);
        return BuildOutcome::Failed;
    }
    ShowInfo(prompts, QStringLiteral("Encoding finished."));
    window.closeWindow();
    return BuildOutcome::Written;
}

} // namespace quorvex
