#include "ui/commands/make_package.h"

#include "base/conversions.h"
#include "flow/build_package.h"
#include "ui/commands/window_reports.h"

namespace quorvex {

std::optional<QString> MakeCommand::ChooseInput(const MakerChoice& choice) {
    window_.lock(Lock::Controls);
    // Checked before anything is asked, so that a header never says other than the name.
    if (const auto refusal = RefusalOf(choice)) {
        ShowError(prompts_, *refusal);
        window_.lock(Lock::None);
        return std::nullopt;
    }
    FileDialogRequest request;
    request.title = QStringLiteral("Select HEX Firmware file ");
    request.filters = {{choice.productCode + QStringLiteral(" HEX Firmware Files (*.HEX)"),
                        QStringLiteral("*.HEX")},
                       AllFilesFilter()};
    const QString input = OpenDialog(dialogs_, log_, request).value_or(QString());
    if (input.isEmpty())
        window_.lock(Lock::None);
    return input;
}

void MakeCommand::Build(const MakerChoice& choice, const QString& input) {
    const QString code = choice.productCode;
    FileDialogRequest request;
    request.title = QStringLiteral("Save ") + code + QStringLiteral(" Firmware File");
    request.filters = {{code + QStringLiteral(" Firmware Files (*.dff)"), QStringLiteral("*.dff")},
                       AllFilesFilter()};
    request.fileName = ProposedPackageName(input, choice.versions);
    request.folder = FolderPart(input);
    request.defaultExtension = QStringLiteral("dff");
    const QString target = SaveDialog(dialogs_, log_, request).value_or(QString());
    if (target.isEmpty()) {
        window_.lock(Lock::None);
        return;
    }
    const DFFHeader header = HeaderOf(choice);
    shown_ = std::make_unique<WindowReport>(window_, prompts_, WindowReport::Bar::HiddenAtEnd);
    failure_.reset();
    worker_.start(
        [this, input, target, header] {
            ReportRelay report(worker_, *shown_);
            LogRelay log(worker_, log_);
            failure_ = BuildPackage(input, target, header, report, log);
        },
        [this] { Finish(); });
}

void MakeCommand::Finish() {
    // The bar goes before anything is told.
    shown_.reset();
    if (failure_) {
        ShowError(prompts_, *failure_);
        window_.lock(Lock::None);
        return;
    }
    ShowInfo(prompts_, QStringLiteral("Encoding finished."));
    window_.lock(Lock::None);
    window_.closeWindow();
}

} // namespace quorvex
