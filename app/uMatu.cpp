#include "app/uMatu.h"

#include <QCoreApplication>

#include "app/uFormUtil.h"

namespace zevrin {

TfrmMatu::TfrmMatu(QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Bar_main(new QProgressBar(this)),
      Bar_sub(new QProgressBar(this)),
      main_(*this, Bar_main),
      sub_(*this, Bar_sub) {
  setObjectName(QStringLiteral("frmMatu"));
  setWindowTitle(QStringLiteral("処理中"));
  setFont(DesignFont());
  setFixedSize(265, 56);
  Bar_main->setObjectName(QStringLiteral("Bar_main"));
  Bar_sub->setObjectName(QStringLiteral("Bar_sub"));
  for (QProgressBar* bar : {Bar_main, Bar_sub}) {
    bar->setRange(BasicProgressBar::kMin, BasicProgressBar::kMax);
    bar->setValue(0);
    bar->setTextVisible(false);
  }
  Bar_main->setGeometry(8, 8, 249, 16);
  Bar_sub->setGeometry(8, 32, 249, 16);
}

void TfrmMatu::Show() {
  if (!isVisible()) {
    CentreOnScreen(*this);
    show();
    raise();
  }
  letPaint();
}

void TfrmMatu::Hide() { hide(); }

void TfrmMatu::letPaint() {
  if (isVisible()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMatu::Bar::Changed() {
  if (widget_->value() == Position()) return;
  widget_->setValue(Position());
  owner_.letPaint();
}

}  // namespace zevrin
