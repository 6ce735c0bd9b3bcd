#include "app/uAbout.h"

#include <QFrame>
#include <QPalette>

#include "app/uFormUtil.h"

namespace zevrin {

TfrmAbout::TfrmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      label_info(new QLabel(this)),
      OKBtn(new QPushButton(QStringLiteral("OK"), this)) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("Halvejoin"));
  setFixedSize(346, 146);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);

  auto* bevel = new QFrame(this);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(8, 8, 329, 129);

  label_info->setObjectName(QStringLiteral("label_info"));
  label_info->setGeometry(24, 40, 294, 24);
  label_info->setAlignment(Qt::AlignCenter);
  QFont arial(QStringLiteral("Arial"));
  arial.setPixelSize(21);
  arial.setBold(true);
  label_info->setFont(arial);
  QPalette lime = label_info->palette();
  lime.setColor(QPalette::WindowText, QColor(0, 255, 0));
  label_info->setPalette(lime);
  label_info->setText(QStringLiteral("Halvejoin"));

  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(132, 102, 75, 25);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::showEvent(QShowEvent* event) {
  CentreOnScreen(*this);
  QDialog::showEvent(event);
}

}  // namespace zevrin
