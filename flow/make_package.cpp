#include "flow/make_package.h"

#include "base/conversions.h"
#include "flow/build_package.h"
#include "flow/window_reports.h"

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
    DialogCall call;
    call.filter = InputFilter(code);
    call.title = QStringLiteral("Select HEX Firmware file ");
    call.fileMustExist = true;
    return OpenDialog(dialogs, log, call) ? call.fileName : QString();
}

// Where the package goes; empty when the dialog was cancelled.
QString ChooseTarget(FileDialogBackend& dialogs, ErrorSink& log, const QString& code,
                     const QString& input, const std::array<QString, 3>& versions) {
    DialogCall call;
    call.fileName = ProposedPackageName(input, versions);
    call.filter = PackageFilter(code);
    call.initialFolder = FolderPart(input);
    call.title = QStringLiteral("Save ") + code + QStringLiteral(" Firmware File");
    call.defaultExtension = QStringLiteral("dff");
    call.flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    call.askBeforeOverwriting = true;
    return SaveDialog(dialogs, log, call) ? call.fileName : QString();
}

} // namespace

BuildOutcome BuildPackageFromPanel(ErrorSink& log, Prompts& prompts, WindowPort& window,
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

    const auto failure = [&] {
        WindowReport report(window, prompts, WindowReport::Bar::HiddenAtEnd);
        return BuildPackage(input, target, HeaderOf(choice), report, log);
    }();
    if (failure) {
        ShowError(prompts, *failure);
        return BuildOutcome::Failed;
    }
    ShowInfo(prompts, QStringLiteral("Encoding finished."));
    window.closeWindow();
    return BuildOutcome::Written;
}

} // namespace quorvex
