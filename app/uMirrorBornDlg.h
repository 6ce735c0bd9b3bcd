// The Mirror bone options: how the mirrored copy of a bone is named. The choice is read from
// the settings each time the dialog is shown, and stored (in the settings and as Settings())
// only when the user confirms with OK. Its texts are Japanese in both languages.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "model/AM5_segment.h"

namespace zevrin {

class TdlgMirrorBorn : public QDialog {
 public:
  explicit TdlgMirrorBorn(QWidget* owner);

  QGroupBox* GroupBox1;
  QRadioButton* radioR2L;   // prefix rule
  QRadioButton* radioR2Le;  // suffix rule
  QLabel* Label2;
  QLineEdit* edRepString;  // the word looked for
  QLabel* Label3;
  QLineEdit* edMBString;         // its replacement
  QRadioButton* radioAddString;  // append rule
  QLabel* Label1;
  QLineEdit* edAddString;  // the appended text
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  // Reads the rule and the three words from the settings into the controls.
  void LoadMirrorSettings();
  // Writes the controls' choice to the settings and to Settings().
  void StoreMirrorSettings();
  // The choice last confirmed.
  const MirrorSettings& Settings() const { return settings_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OKBtnClick();

  MirrorSettings settings_;
};

}  // namespace zevrin
