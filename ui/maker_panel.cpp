#include "ui/maker_panel.h"

#include "package/maker_panel.h"
#include "ui/controls.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace quorvex {

MakerPanel::MakerPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("picCreateDFF"));
    setGeometry(0, 0, 340, 136);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    // Made in the order the designer laid them out, which is also the order Tab follows.
    QLabel* unitCaption = MakeLabel(this, QStringLiteral("lblDisplay"), 1,
                                    QStringLiteral("Unit ID:"), QRect(10, 8, 76, 24));
    cmbUnitIdList_ = new QComboBox(this);
    cmbUnitIdList_->setObjectName(QStringLiteral("cmbUnitIdList"));
    cmbUnitIdList_->setGeometry(92, 6, 130, 28);
    unitCaption->setBuddy(cmbUnitIdList_);
    QLabel* chipCaption = MakeLabel(this, QStringLiteral("lblDisplay"), 2,
                                    QStringLiteral("Chip ID:"), QRect(10, 40, 76, 24));
    cmbPicIdList_ = new QComboBox(this);
    cmbPicIdList_->setObjectName(QStringLiteral("cmbPicIdList"));
    cmbPicIdList_->setGeometry(92, 38, 236, 28);
    chipCaption->setBuddy(cmbPicIdList_);
    MakeLabel(this, QStringLiteral("lblDisplay"), 3, QStringLiteral("FW Version:"),
              QRect(10, 72, 80, 24));
    MakeLabel(this, QStringLiteral("lblDisplay"), 4, QStringLiteral("Version"),
              QRect(236, 72, 60, 24));
    const int boxX[3] = {92, 140, 188};
    // The three boxes share one caption; each says which number it holds.
    const QString boxName[3] = {QStringLiteral("FW Version: major"),
                                QStringLiteral("FW Version: minor"),
                                QStringLiteral("FW Version: build")};
    for (int i = 0; i < 3; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("txtFWVer"));
        box->setProperty("index", i);
        box->setAccessibleName(boxName[i]);
        box->setGeometry(boxX[i], 70, 38, 26);
        box->setAlignment(Qt::AlignCenter);
        box->installEventFilter(this);
        txtFWVer_[i] = box;
    }
    MakeLabel(this, QStringLiteral("lblDisplay"), 5, QStringLiteral("."), QRect(132, 72, 8, 24));
    MakeLabel(this, QStringLiteral("lblDisplay"), 7, QStringLiteral("."), QRect(180, 72, 8, 24));
    cmdCancel_ = MakeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"),
                            QRect(150, 102, 86, 28));
    cmdMakeDFF_ = MakeButton(this, QStringLiteral("cmdMakeDFF"), QStringLiteral("Continue"),
                             QRect(242, 102, 86, 28));
    connect(cmdCancel_, &QPushButton::clicked, this, &MakerPanel::cancelPressed);
    connect(cmdMakeDFF_, &QPushButton::clicked, this, &MakerPanel::continuePressed);
    connect(cmbUnitIdList_, &QComboBox::activated, this, &MakerPanel::unitPicked);
    hide();
}

void MakerPanel::open() {
    if (QWidget* window = parentWidget())
        move((window->width() - width()) / 2, (window->height() - height()) / 2);
    {
        const QSignalBlocker quiet(cmbUnitIdList_);
        cmbUnitIdList_->clear();
        cmbUnitIdList_->addItems(UnitListEntries());
        cmbUnitIdList_->setCurrentIndex(0);
    }
    productPicked();
    cmbPicIdList_->clear();
    cmbPicIdList_->addItems(ChipListEntries());
    cmbPicIdList_->setCurrentIndex(0);
    txtFWVer_[0]->setText(QStringLiteral("1"));
    txtFWVer_[1]->setText(QStringLiteral("0"));
    txtFWVer_[2]->setText(QStringLiteral("0"));
    raise();
    show();
}

MakerChoice MakerPanel::choice() const {
    return MakerChoice{cmbUnitIdList_->currentText(),
                       cmbPicIdList_->currentText(),
                       {txtFWVer_[0]->text(), txtFWVer_[1]->text(), txtFWVer_[2]->text()}};
}

void MakerPanel::productPicked() {
    const QString code = cmbUnitIdList_->currentText();
    const bool hide = HidesMinorAndRevision(code);
    txtFWVer_[1]->setVisible(!hide);
    txtFWVer_[2]->setVisible(!hide);
    if (cmbPicIdList_->count() > 0) {
        if (const auto chip = DefaultChipFor(code)) {
            QStringList entries;
            for (int i = 0; i < cmbPicIdList_->count(); ++i)
                entries << cmbPicIdList_->itemText(i);
            cmbPicIdList_->setCurrentIndex(
                SelectChipEntry(entries, *chip, cmbPicIdList_->currentIndex()));
        }
    }
    // While the panel is still closed (its opening runs this too) there is nothing to focus.
    if (txtFWVer_[1]->isVisible())
        txtFWVer_[1]->setFocus();
}

void MakerPanel::versionBoxFocused(int index) {
    // Deferred: a mouse press that gave the focus would otherwise place the cursor afterwards
    // and undo the selection.
    QLineEdit* box = txtFWVer_[index];
    QTimer::singleShot(0, box, [box] { box->selectAll(); });
}

bool MakerPanel::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusIn)
        for (int i = 0; i < 3; ++i)
            if (watched == txtFWVer_[i])
                emit versionBoxEntered(i);
    return QFrame::eventFilter(watched, e);
}

} // namespace quorvex
