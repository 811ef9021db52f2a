#pragma once
// picCreateDFF: the maker's hidden panel. It offers the products, chips and version boxes and
// keeps them consistent as the maker picks; the window wires its events to the handlers and
// decides when it opens and what "Continue" builds.
#include "package/package_builder.h"

#include <QFrame>
#include <array>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace quorvex {

class MakerPanel : public QFrame {
    Q_OBJECT
  public:
    explicit MakerPanel(QWidget* parent);

    // Centred on the window, lists filled anew on their first entries, version 1.0.0, shown on
    // top. A panel already open starts over.
    void open();
    // What the boxes and lists show now, hidden boxes included.
    MakerChoice choice() const;

    // The unit list's pick: the boxes the product's version has, its usual chip, the focus on
    // the minor box when it is shown.
    void productPicked();
    // A version box took the focus: its whole text is selected, so that typing replaces it.
    void versionBoxFocused(int index);

  signals:
    // The maker chose an entry of the unit list (not a change made from code).
    void unitPicked();
    // A version box received the focus.
    void versionBoxEntered(int index);
    void continuePressed();
    void cancelPressed();

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    QComboBox* cmbUnitIdList_ = nullptr;
    QComboBox* cmbPicIdList_ = nullptr;
    std::array<QLineEdit*, 3> txtFWVer_{};
    QPushButton* cmdCancel_ = nullptr;
    QPushButton* cmdMakeDFF_ = nullptr;
};

} // namespace quorvex
