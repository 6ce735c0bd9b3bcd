// The About box: the version line in lime on black, and an OK button.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace zevrin {

class TfrmAbout : public QDialog {
 public:
  explicit TfrmAbout(QWidget* owner);

  QLabel* label_info;
  QPushButton* OKBtn;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace zevrin
