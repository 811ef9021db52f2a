#pragma once
// The window as the program makes it, over fake devices, with its files in a folder of its own:
// what the window's tests start from.
#include "support/fake_devices.h"
#include "support/fakes.h"
#include "ui/frm_fw_updater.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace quorvex::testing {

class FakeWindow {
  protected:
    // Declared first: it outlives the window, which may still write there as it goes.
    QTemporaryDir dir;
    LoadedFirmware firmware;
    fakes::ScriptedPrompts prompts;
    fakes::FakeSerialPort serial;
    fakes::FakeUdpSocket socket;
    fakes::ScriptedDialogs dialogs;
    std::unique_ptr<FrmFWUpdater> form;

    FormDeps deps() { return FormDeps{firmware, prompts, serial, socket, dialogs, dir.path()}; }
    void openWindow(FormDeps d) {
        form = std::make_unique<FrmFWUpdater>(std::move(d));
        form->show();
    }
    // The window's control `name`; a failure of the test when there is none.
    template <typename T> T* child(const char* name) const {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

} // namespace quorvex::testing
