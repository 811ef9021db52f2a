#pragma once
// The maker's "Continue": checks the panel's boxes, asks for a firmware file and where to save
// the package, and has the package built on the worker. The window is locked from the press
// until the build is over.
#include "base/file_dialogs.h"
#include "base/prompts.h"
#include "package/package_builder.h"
#include "ui/commands/window_port.h"
#include "ui/commands/work_thread.h"

#include <memory>
#include <optional>

namespace quorvex {

class MakeCommand {
  public:
    MakeCommand(ErrorSink& log, Prompts& prompts, WindowPort& window, FileDialogBackend& dialogs,
                WorkThread& worker)
        : log_(log), prompts_(prompts), window_(window), dialogs_(dialogs), worker_(worker) {}

    // The first half of the press, up to the firmware file: none when a box holds what no
    // header can carry (the maker was told; the panel stays open); else the file chosen, empty
    // when the dialog was cancelled. The panel goes after this unless it was refused.
    std::optional<QString> ChooseInput(const MakerChoice& choice);
    // The second half: asks where the package goes and builds it there on the worker. Once it
    // is written the maker is told and the window closes; a failure is told and the window
    // given back.
    void Build(const MakerChoice& choice, const QString& input);

  private:
    void Finish();

    ErrorSink& log_;
    Prompts& prompts_;
    WindowPort& window_;
    FileDialogBackend& dialogs_;
    WorkThread& worker_;
    std::unique_ptr<Report> shown_;
    std::optional<QString> failure_;
};

} // namespace quorvex
