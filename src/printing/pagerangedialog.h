// "印刷範囲": which pages of the previewed document to print.
#pragma once

#include "printing/layout/viewlogic.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qm::desktop {

class PageRangeDialog : public QDialog {
    Q_OBJECT
public:
    explicit PageRangeDialog(QWidget* parent = nullptr);

    // The limits; writes them into the boxes and the hint.
    void setPageRange(int minimum, int maximum);
    // After the dialog closed: true only after a valid OK, the job and the range chosen.
    bool confirmed() const { return ok_; }
    int job() const { return choice_.job; }
    void pageRange(int& first, int& last) const { first = choice_.first; last = choice_.last; }
    const print::RangeChoice& choice() const { return choice_; }

    QRadioButton* option(int index) const { return options_.at(index); }
    QLineEdit* startBox() const { return start_; }
    QLineEdit* endBox() const { return end_; }
    QLabel* hintLabel() const { return hint_; }
    QPushButton* okButton() const { return ok_button_; }
    QPushButton* cancelButton() const { return cancel_button_; }

private:
    void confirm();
    int selectedOption() const;

    std::array<QRadioButton*, 3> options_{};
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
    QLabel* hint_ = nullptr;
    QPushButton* ok_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    int minimum_ = 1, maximum_ = 1;
    bool filling_ = false;
    bool ok_ = false;
    print::RangeChoice choice_;
};

}  // namespace qm::desktop
