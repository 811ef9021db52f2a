#include "flow/load_package.h"

#include "base/catalogue.h"
#include "flow/open_package.h"
#include "package/package_reader.h"

#include <algorithm>
#include <variant>

namespace quorvex {

namespace {

// The panel of the package's kind of unit; a serial product's port gets its line settings and
// the port list is scanned again.
void PrepareWindowFor(const PackageLoad& load, const DFFHeader& header,
                      const std::function<void()>& refreshPorts) {
    Guard guard(load.log, Place::Module(QStringLiteral("LoadDFFFile"), QStringLiteral("modFW")));
    const auto accessBox = [&load](const Failure& f) {
        if (!IsShownToTheUser(f))
            return false;
        ShowError(load.prompts, AccessMessage(f));
        return true;
    };
    WindowPort& w = load.window;
    if (header.ChipId == NetworkChipId) {
        w.showMedium(Medium::Network);
        w.setText(WindowText::Status, QStringLiteral("Status: Ready."));
        return;
    }
    w.showMedium(Medium::Serial);
    if (const auto settings = SerialSettingsOf(header.trimmedCode()))
        guard.step([&] { load.serial.setSettings(*settings); }, accessBox);
    if (refreshPorts)
        guard.step([&] { refreshPorts(); }, accessBox);
}

// The window as a package's opening reports to it: the question in a box, the decoding in the
// progress bar.
class LoadReport : public Report {
  public:
    explicit LoadReport(const PackageLoad& load) : load_(load) {}
    ~LoadReport() override {
        if (barShown_)
            load_.window.progress().hide();
    }
    LoadReport(const LoadReport&) = delete;
    LoadReport& operator=(const LoadReport&) = delete;

    void stage(const QString& text) override { load_.window.setText(WindowText::Message, text); }
    void progress(qint64 done, qint64 total) override {
        ProgressDisplay& bar = load_.window.progress();
        if (!barShown_) {
            bar.show();
            barShown_ = true;
        }
        bar.fill(total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 0.0);
    }
    void tell(const QString& text, Icon icon, const QString& caption) override {
        load_.prompts.message(text, icon, caption);
    }
    bool ask(const QString& question) override { return AskYesNo(load_.prompts, question); }

  private:
    const PackageLoad& load_;
    bool barShown_ = false;
};

} // namespace

bool LoadDFFFile(const PackageLoad& load, const QString& path,
                 const std::function<void()>& refreshPorts) {
    if (path.isEmpty())
        return false;
    OpenOutcome opened = [&] {
        LoadReport report(load);
        return OpenPackage(path, report, load.log, [&](const DFFHeader& header) {
            load.firmware.Header = header;
            PrepareWindowFor(load, header, refreshPorts);
        });
    }();
    if (const auto* refusal = std::get_if<PackageRefusal>(&opened)) {
        if (!refusal->message.isEmpty())
            ShowError(load.prompts, refusal->message);
        return false;
    }
    const auto* package = std::get_if<Package>(&opened);
    if (!package)
        return false; // declined
    LoadedFirmware& fw = load.firmware;
    const LoadedFirmware& body = package->firmware();
    fw.ProgramImage = body.ProgramImage;
    // A network package brings an image and nothing else: the other arrays stay as they were.
    if (package->kind() == UnitKind::Serial) {
        fw.EepromImage = body.EepromImage;
        fw.EepromPresent = body.EepromPresent;
        fw.ConfigImage = body.ConfigImage;
        fw.ProgramEnd = body.ProgramEnd;
    }
    return true;
}

} // namespace quorvex
