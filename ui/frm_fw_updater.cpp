#include "ui/frm_fw_updater.h"

#include "base/identity.h"
#include "base/last_folder.h"
#include "flow/make_package.h"
#include "flow/port_list.h"
#include "flow/update_command.h"
#include "net/tftp_client.h"
#include "package/maker_panel.h"
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
#include <QThread>

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
    tftpClient_ =
        std::make_unique<TftpClient>(deps_.socket, log_, tftpReport_, deps_.tftpServerPort);
    lastFolder_ = std::make_unique<LastFolder>(deps_.configFolder);
    updateCommand_ = std::make_unique<UpdateCommand>(
        PackageLoad{deps_.firmware, log_, deps_.prompts, *this, deps_.serial}, deps_.dialogs,
        *tftpClient_, [this] { cmdRefresh_Click(); }, lastFolder_.get());
    buildControls();
    picCreateDFF_ = new MakerPanel(this);
    wireEvents();
    new PackageDrop(
        *this, [this] { return offersBrowse(); },
        [this](const QString& path) { openPackage(path); });
    Form_Load();
}

FrmFWUpdater::~FrmFWUpdater() {
    // An upload under way reports to the status line until its thread has stopped.
    updateCommand_.reset();
    tftpClient_.reset();
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
    cmdUpdate_ = MakeButton(this, QStringLiteral("cmdUpdate"),
                            QStringLiteral("Browse for DFF file"), QRect(168, 8, 322, 58));

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
    g.step([&] { deps_.serial.setSettings(QStringLiteral("9600,n,8,1")); });
}

void FrmFWUpdater::cmdUpdate_Click() {
    // A package is decoded on this thread: the window draws and answers from its bar meanwhile.
    // A serial flash runs on a thread of its own and this returns at once.
    picProgress_->holdThread(true);
    updateCommand_->LoadOrFlash();
    picProgress_->holdThread(false);
}

bool FrmFWUpdater::offersBrowse() const {
    return !deps_.firmware.isLoaded() && !updateCommand_->flashing() && !cmdUpdate_->isHidden() &&
           cmdUpdate_->isEnabled() && picCreateDFF_->isHidden();
}

void FrmFWUpdater::openPackage(const QString& path) {
    if (!offersBrowse())
        return;
    picProgress_->holdThread(true);
    updateCommand_->OpenAsIfBrowsed(path);
    picProgress_->holdThread(false);
}

void FrmFWUpdater::cmdExit_Click() {
    closeWindow();
}

void FrmFWUpdater::cmdCancel_Click() {
    picCreateDFF_->hide();
}

void FrmFWUpdater::cmdMakeDFF_Click() {
    // The window draws and answers from its bar while the package is built on this thread:
    // nothing else may start meanwhile.
    EnableControls(false);
    picProgress_->holdThread(true);
    BuildPackageFromPanel(log_, deps_.prompts, *this, deps_.dialogs, picCreateDFF_->choice(),
                          [this] { cmdCancel_Click(); });
    picProgress_->holdThread(false);
    EnableControls(true);
}

void FrmFWUpdater::cmdRefresh_Click() {
    // Hourglass over the window while the ports are tried.
    setCursor(Qt::WaitCursor);
    RefreshPortList(*this, deps_.serial, deps_.firmware);
    unsetCursor();
    // An empty list is no answer for a technician whose ports all refuse them: say why, once.
    Guard g(log_, Place::Form(QStringLiteral("cmdRefresh_Click")));
    portNotice_.afterScan(deps_.serial, portList().entries, g, deps_.prompts);
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
    // A flash under way stops before its next hello or frame, keeps the package and the port
    // until then (the window's going waits for that) and closes the port itself.
    if (updateCommand_->flashing()) {
        updateCommand_->StopFlash();
    } else {
        deps_.firmware.releaseImages();
        if (deps_.serial.isOpen()) {
            Guard g(log_, Place::Form(QStringLiteral("Form_QueryUnload")));
            g.step([&] { deps_.serial.close(); });
        }
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
