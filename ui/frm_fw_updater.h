#pragma once
// frmFWUpdater: the one window. It builds its controls, implements what its commands may do to
// them (WindowPort) and wires each event to the handler that owns the work. The work itself
// runs on the window's one worker.
#include "base/error_log.h"
#include "base/file_dialogs.h"
#include "base/loaded_firmware.h"
#include "base/prompts.h"
#include "base/stop_request.h"
#include "flow/port_access.h"
#include "flow/upload.h"
#include "ui/commands/window_port.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvex {

class LastFolder;
class LogoWidget;
class MakeCommand;
class MakerPanel;
class PacedDraw;
class PacedText;
class ProgressWidget;
class SerialPort;
class UdpSocket;
class UpdateCommand;
class WorkThread;

// What the window is given: the shared package record and the devices, so that tests can hand
// in fakes and the program the Qt implementations.
struct FormDeps {
    LoadedFirmware& firmware;
    Prompts& prompts;
    SerialPort& serial;
    UdpSocket& socket;
    FileDialogBackend& dialogs;
    // Where the log goes; empty when the program is installed in a folder the system owns (the
    // log then goes to the state folder).
    QString programFolder;
    // The TFTP server port of network units; tests point it at a server of their own.
    int tftpServerPort = tftp::DefaultServerPort;
    // Where the folder of the last package opened is kept for the next run; empty keeps none.
    QString configFolder = {};
    // Why a device the port scan could not open refuses this user.
    AccessCheck refusalOf = &AccessRefusalOf;
};

class FrmFWUpdater : public QWidget, public WindowPort {
    Q_OBJECT
  public:
    explicit FrmFWUpdater(FormDeps deps, QWidget* parent = nullptr);
    ~FrmFWUpdater() override;

    // Work started from the window (a load, a flash, an upload, a build) is under way.
    bool working() const;
    const ErrorLog& errorLog() const { return log_; }

    // Event handlers, public so that tests can drive them as the events would.
    void Form_Load();
    void cmdUpdate_Click();
    void cmdExit_Click();
    void cmdCancel_Click();
    void cmdMakeDFF_Click();
    void cmdRefresh_Click();
    void imgLogo_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void cmbUnitIdList_Click();
    void txtFWVer_GotFocus(int index);

    // Opens the package at `path` as if it had been browsed for (a file named on the command
    // line, a file dropped onto the window), while the main button offers to browse.
    void openPackage(const QString& path);
    // The main button's next click browses, and the window is not busy: a package may be
    // handed to it.
    bool offersBrowse() const;

    // WindowPort
    void lock(Lock how) override;
    void showBusy(bool busy) override;
    // Every text box, label, drop-down list and button but lblStat.
    void EnableControls(bool enabled);
    // cmdUpdate, which lies over lblMessage and picProgress.
    void setUpdateVisible(bool visible);
    void setText(WindowText where, const QString& text) override;
    void showMedium(Medium medium) override;
    PortList portList() const override;
    void setPortList(const PortList& list) override;
    QString targetAddress() const override;
    ProgressDisplay& progress() override;
    void restoreAndRaise() override;
    void closeWindow() override;

    // The newest status text, drawn or about to be.
    QString status() const;

    // The longest status text shown whole; a longer one (a unit's ERROR message may fill a
    // datagram) is cut and ends in an ellipsis. status() still gives it whole.
    static constexpr int StatusShownMax = 200;

  protected:
    // The close box and the system menu are refused in every state; only closing from code
    // (Exit, the answer No after a flash, a finished build) ends the program.
    void closeEvent(QCloseEvent* e) override;
    // Notices the person using the window again after the session's end was announced.
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildControls();
    // The chosen port's device, in the list's tooltip.
    void showPortDevice();
    void wireEvents();

    FormDeps deps_;
    ErrorLog log_;
    // Asked for when the window goes while work runs: a flash ends at its next hello or frame,
    // an upload at its next datagram.
    StopRequest stop_;
    std::unique_ptr<LastFolder> lastFolder_;
    PortAccessNotice portNotice_;
    std::unique_ptr<UpdateCommand> updateCommand_;
    std::unique_ptr<MakeCommand> makeCommand_;
    // After the commands, so that it goes first: a job under way ends before what it uses goes.
    std::unique_ptr<WorkThread> worker_;
    bool closingFromCode_ = false;
    // The desktop announced the session's end, whose close is not refused, until the person
    // uses the window again (the logout was cancelled).
    bool sessionEnding_ = false;
    // The newest texts, drawn at the rate a person reads (see PacedDraw).
    QString messageText_;
    std::unique_ptr<PacedText> status_;
    std::unique_ptr<PacedDraw> messageDraw_;

    LogoWidget* imgLogo_ = nullptr;
    QPushButton* cmdUpdate_ = nullptr;
    QLabel* lblMessage_ = nullptr;
    ProgressWidget* picProgress_ = nullptr;
    QFrame* picSerMedium_ = nullptr;
    QComboBox* SerialCommPort_ = nullptr;
    QPushButton* cmdRefresh_ = nullptr;
    QFrame* picEthMedium_ = nullptr;
    QLineEdit* txtIP_ = nullptr;
    QLabel* lblStat_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    MakerPanel* picCreateDFF_ = nullptr;
};

} // namespace quorvex
