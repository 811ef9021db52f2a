#include "ui/frm_fw_updater.h"

#include "base/identity.h"
#include "base/last_folder.h"
#include "flow/serial_ports.h"
#include "package/maker_panel.h"
#include "ui/commands/make_package.h"
#include "ui/commands/port_list.h"
#include "ui/commands/update_command.h"
#include "ui/commands/work_thread.h"
#include "ui/contrast.h"
#include "ui/controls.h"
#include "ui/logo_widget.h"
#include "ui/maker_panel.h"
#include "ui/paced_draw.h"
#include "ui/package_drop.h"
#include "ui/progress_widget.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quorvex {

namespace {

QString ShownStatus(const QString& text) {
    if (text.size() <= FrmFWUpdater::StatusShownMax)
        return text;
    return text.left(FrmFWUpdater::StatusShownMax - 1) + QChar(0x2026);
}

} // namespace

FrmFWUpdater::FrmFWUpdater(FormDeps deps, QWidget* parent)
    : QWidget(parent), deps_(std::move(deps)), log_(deps_.programFolder, deps_.prompts),
      portNotice_(deps_.refusalOf) {
    setObjectName(QStringLiteral("frmFWUpdater"));
    worker_ = std::make_unique<WorkThread>();
    lastFolder_ = std::make_unique<LastFolder>(deps_.configFolder);
    updateCommand_ = std::make_unique<UpdateCommand>(
        WindowSide{deps_.firmware, log_, deps_.prompts, *this, deps_.serial},
        UploadLine{deps_.socket, deps_.tftpServerPort}, deps_.dialogs, *worker_, stop_,
        lastFolder_.get());
    makeCommand_ =
        std::make_unique<MakeCommand>(log_, deps_.prompts, *this, deps_.dialogs, *worker_);
    buildControls();
    picCreateDFF_ = new MakerPanel(this);
    wireEvents();
    new PackageDrop(
        *this, [this] { return offersBrowse(); },
        [this](const QString& path) { openPackage(path); });
    Form_Load();
}

FrmFWUpdater::~FrmFWUpdater() {
    // Work under way ends before what it reports to goes.
    stop_.request();
    worker_.reset();
}

bool FrmFWUpdater::working() const {
    return worker_->busy();
}

void FrmFWUpdater::buildControls() {
    setFixedSize(500, 150);
    setWindowIcon(QIcon(LogoWidget::Render(QSize(64, 64))));

    imgLogo_ = new LogoWidget(this);
    imgLogo_->setGeometry(8, 8, 150, 134);

    // cmdUpdate lies over lblMessage and picProgress: hiding the button during a flash reveals
    // the message and the bar, showing it covers them again.
    lblMessage_ = MakeLabel(this, QStringLiteral("lblMessage"), -1,
                            QStringLiteral("Flashing Firmware..."), QRect(168, 10, 322, 26));
    lblMessage_->setAlignment(Qt::AlignCenter);
    KeepFullContrastWhenDisabled(lblMessage_);
    messageText_ = lblMessage_->text();
    messageDraw_ = std::make_unique<PacedDraw>([this] {
        lblMessage_->setText(messageText_);
        lblMessage_->repaint();
    });
    picProgress_ = new ProgressWidget(this);
    picProgress_->setGeometry(178, 42, 302, 18);
    picProgress_->QWidget::hide();
    cmdUpdate_ =
        MakeButton(this, QStringLiteral("cmdUpdate"), BrowseCaption, QRect(168, 8, 322, 58));

    picSerMedium_ = MakePanel(this, QStringLiteral("picSerMedium"), QRect(168, 74, 228, 68));
    QLabel* portCaption = MakeLabel(picSerMedium_, QStringLiteral("lblDisplay"), 0,
                                    QStringLiteral("Serial Comm. Port"), QRect(2, 2, 200, 20));
    SerialCommPort_ = new QComboBox(picSerMedium_);
    SerialCommPort_->setObjectName(QStringLiteral("SerialCommPort"));
    portCaption->setBuddy(SerialCommPort_);
    SerialCommPort_->setGeometry(2, 26, 130, 28);
    cmdRefresh_ = MakeButton(picSerMedium_, QStringLiteral("cmdRefresh"), QStringLiteral("Refresh"),
                             QRect(140, 26, 82, 28));
    picSerMedium_->hide();

    // Designed apart; the window load moves it onto the serial panel's place.
    picEthMedium_ = MakePanel(this, QStringLiteral("picEthMedium"), QRect(168, 150, 228, 68));
    QLabel* targetCaption = MakeLabel(picEthMedium_, QStringLiteral("lblDisplay"), 6,
                                      QStringLiteral("Target:"), QRect(2, 4, 50, 22));
    txtIP_ = new QLineEdit(QStringLiteral("192.168.0.200"), picEthMedium_);
    txtIP_->setObjectName(QStringLiteral("txtIP"));
    targetCaption->setBuddy(txtIP_);
    txtIP_->setGeometry(56, 2, 150, 26);
    lblStat_ = MakeLabel(picEthMedium_, QStringLiteral("lblStat"), -1,
                         QStringLiteral("Status: Ready."), QRect(2, 30, 224, 38));
    lblStat_->setWordWrap(true);
    lblStat_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    KeepFullContrastWhenDisabled(lblStat_);
    status_ = std::make_unique<PacedText>(lblStat_->text(), [this](const QString& text) {
        lblStat_->setText(ShownStatus(text));
        lblStat_->repaint();
    });
    picEthMedium_->hide();

    cmdExit_ = MakeButton(this, QStringLiteral("cmdExit"), QStringLiteral("Exit"),
                          QRect(404, 106, 86, 34));
}

void FrmFWUpdater::wireEvents() {
    // The desktop ending the session may close the window, as closing from code may.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { sessionEnding_ = true; });
    qApp->installEventFilter(this);
    connect(cmdUpdate_, &QPushButton::clicked, this, [this] { cmdUpdate_Click(); });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(picCreateDFF_, &MakerPanel::cancelPressed, this, [this] { cmdCancel_Click(); });
    connect(picCreateDFF_, &MakerPanel::continuePressed, this, [this] { cmdMakeDFF_Click(); });
    connect(cmdRefresh_, &QPushButton::clicked, this, [this] { cmdRefresh_Click(); });
    connect(imgLogo_, &LogoWidget::pressed, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m) { imgLogo_MouseDown(b, m); });
    connect(picCreateDFF_, &MakerPanel::unitPicked, this, [this] { cmbUnitIdList_Click(); });
    connect(picCreateDFF_, &MakerPanel::versionBoxEntered, this,
            [this](int i) { txtFWVer_GotFocus(i); });
    connect(SerialCommPort_, &QComboBox::currentIndexChanged, this, [this] { showPortDevice(); });
}

void FrmFWUpdater::showPortDevice() {
    const int i = SerialCommPort_->currentIndex();
    SerialCommPort_->setToolTip(i >= 0 ? SerialCommPort_->itemData(i, Qt::ToolTipRole).toString()
                                       : QString());
}

void FrmFWUpdater::Form_Load() {
    Guard g(log_, Place::Form(QStringLiteral("Form_Load")));
    picEthMedium_->move(picSerMedium_->pos());
    setWindowTitle(CaptionText());
    // The port's settings until a package of a product with settings of its own is opened.
    g.step([&] { UseDefaultLineSettings(deps_.serial); });
}

void FrmFWUpdater::cmdUpdate_Click() {
    // Returns once the work is under way on the worker.
    updateCommand_->LoadOrFlash();
}

bool FrmFWUpdater::offersBrowse() const {
    return !deps_.firmware.isLoaded() && !working() && !cmdUpdate_->isHidden() &&
           cmdUpdate_->isEnabled() && picCreateDFF_->isHidden();
}

void FrmFWUpdater::openPackage(const QString& path) {
    if (!offersBrowse())
        return;
    // Returns once the load is under way on the worker, as a click does.
    updateCommand_->OpenAsIfBrowsed(path);
}

void FrmFWUpdater::cmdExit_Click() {
    closeWindow();
}

void FrmFWUpdater::cmdCancel_Click() {
    picCreateDFF_->hide();
}

void FrmFWUpdater::cmdMakeDFF_Click() {
    const MakerChoice choice = picCreateDFF_->choice();
    const std::optional<QString> input = makeCommand_->ChooseInput(choice);
    if (!input)
        return;
    // Once the firmware file has been asked for, the panel has done its part.
    picCreateDFF_->hide();
    if (!input->isEmpty())
        makeCommand_->Build(choice, *input);
}

void FrmFWUpdater::cmdRefresh_Click() {
    RefreshPortList(*this, deps_.serial, deps_.firmware);
}

void FrmFWUpdater::imgLogo_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers m) {
    if (OpensMakerPanel(button == Qt::LeftButton, m & Qt::ShiftModifier, m & Qt::ControlModifier,
                        m & Qt::AltModifier))
        picCreateDFF_->open();
}

void FrmFWUpdater::cmbUnitIdList_Click() {
    picCreateDFF_->productPicked();
}

void FrmFWUpdater::txtFWVer_GotFocus(int index) {
    picCreateDFF_->versionBoxFocused(index);
}

bool FrmFWUpdater::eventFilter(QObject* watched, QEvent* e) {
    // The session did not end after all (the logout was cancelled): the person is back at the
    // window, whose close box is refused again.
    switch (e->type()) {
    case QEvent::WindowActivate:
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
        sessionEnding_ = false;
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, e);
}

void FrmFWUpdater::closeEvent(QCloseEvent* e) {
    if (!closingFromCode_ && !sessionEnding_) {
        e->ignore();
        return;
    }
    // Work under way keeps the package and the port until it ends (the window's going waits
    // for that) and closes the port itself; a flash is asked to stop at its next hello or
    // frame, an upload at its next datagram.
    if (working()) {
        stop_.request();
    } else {
        deps_.firmware.releaseImages();
        Guard g(log_, Place::Form(QStringLiteral("Form_QueryUnload")));
        g.step([&] { CloseSerialPort(deps_.serial); });
    }
    e->accept();
}

void FrmFWUpdater::closeWindow() {
    closingFromCode_ = true;
    if (!close())
        closingFromCode_ = false;
}

void FrmFWUpdater::lock(Lock how) {
    setUpdateVisible(how != Lock::Working);
    EnableControls(how == Lock::None);
}

void FrmFWUpdater::showBusy(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void FrmFWUpdater::EnableControls(bool enabled) {
    // Text boxes, labels, lists and buttons; panels, the logo and the bar are left alone, and the
    // status line stays live during a network upload.
    const auto widgets = findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        const bool controlKind = qobject_cast<QLineEdit*>(w) || qobject_cast<QLabel*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QPushButton*>(w);
        if (controlKind && w != lblStat_ && w->objectName() != QLatin1String("lblStat"))
            w->setEnabled(enabled);
    }
}

void FrmFWUpdater::setUpdateVisible(bool visible) {
    cmdUpdate_->setVisible(visible);
}
void FrmFWUpdater::setText(WindowText where, const QString& text) {
    switch (where) {
    case WindowText::Caption:
        cmdUpdate_->setText(text);
        cmdUpdate_->repaint();
        return;
    case WindowText::Message:
        messageText_ = text;
        messageDraw_->changed();
        return;
    case WindowText::Status: {
        status_->setNow(text);
        // An outcome or a failure is read out, not just shown; the steps before it are not.
        QAccessibleEvent alert(lblStat_, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
        return;
    }
    case WindowText::Step:
        status_->setStep(text);
        return;
    }
}
QString FrmFWUpdater::status() const {
    return status_->text();
}
void FrmFWUpdater::showMedium(Medium medium) {
    picSerMedium_->setVisible(medium == Medium::Serial);
    picEthMedium_->setVisible(medium == Medium::Network);
}
QString FrmFWUpdater::targetAddress() const {
    return txtIP_->text();
}
PortList FrmFWUpdater::portList() const {
    PortList list;
    for (int i = 0; i < SerialCommPort_->count(); ++i)
        list.entries << PortEntry{0, SerialCommPort_->itemText(i),
                                  SerialCommPort_->itemData(i, Qt::ToolTipRole).toString()};
    list.chosen = SerialCommPort_->currentIndex();
    return list;
}
void FrmFWUpdater::setPortList(const PortList& list) {
    SerialCommPort_->clear();
    for (const PortEntry& entry : list.entries) {
        SerialCommPort_->addItem(entry.text);
        SerialCommPort_->setItemData(SerialCommPort_->count() - 1, entry.device, Qt::ToolTipRole);
    }
    SerialCommPort_->setCurrentIndex(list.chosen);
    // The first entry was chosen by the list itself before its device was known.
    showPortDevice();
    // Whichever scan made the list (Refresh, or the one a load makes): an empty list is no
    // answer for a technician whose ports all refuse them, so say why, once.
    Guard g(log_, Place::Form(QStringLiteral("cmdRefresh_Click")));
    portNotice_.afterScan(deps_.serial, list.entries, g, deps_.prompts);
}
void FrmFWUpdater::restoreAndRaise() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}
ProgressDisplay& FrmFWUpdater::progress() {
    return *picProgress_;
}

} // namespace quorvex
