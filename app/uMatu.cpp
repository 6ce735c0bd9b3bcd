#include "app/uMatu.h"

#include <QThread>

#include "app/uFormUtil.h"

namespace zevrin {

TfrmMatu::TfrmMatu(QWidget* owner, bool japanese)
    : QWidget(owner,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Bar_main(new QProgressBar(this)),
      Bar_sub(new QProgressBar(this)),
      LabelStep(new QLabel(this)),
      btnCancel(new QPushButton(this)),
      main_(Bar_main),
      sub_(Bar_sub) {
  setObjectName(QStringLiteral("frmMatu"));
  setWindowTitle(QStringLiteral("処理中"));
  setFont(DesignFont());
  // The two bars where they always stood; the step's name and Cancel below them.
  setFixedSize(265, 110);
  Bar_main->setObjectName(QStringLiteral("Bar_main"));
  Bar_sub->setObjectName(QStringLiteral("Bar_sub"));
  for (QProgressBar* bar : {Bar_main, Bar_sub}) {
    bar->setRange(BasicProgressBar::kMin, BasicProgressBar::kMax);
    bar->setValue(0);
    bar->setTextVisible(false);
  }
  Bar_main->setGeometry(8, 8, 249, 16);
  Bar_sub->setGeometry(8, 32, 249, 16);
  LabelStep->setObjectName(QStringLiteral("LabelStep"));
  LabelStep->setGeometry(8, 54, 249, 16);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setText(japanese ? QStringLiteral("キャンセル") : QStringLiteral("Cancel"));
  btnCancel->setGeometry(182, 77, 75, 25);
  connect(btnCancel, &QPushButton::clicked, this, [this] {
    cancel_ = true;
    btnCancel->setEnabled(false);  // once is enough; the step stops at its next move
  });
}

template <class F>
void TfrmMatu::onWindowThread(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
  }
}

void TfrmMatu::Begin(const QString& step) {
  cancel_ = false;
  btnCancel->setEnabled(true);
  LabelStep->setText(step);
}

void TfrmMatu::Show() {
  onWindowThread([this] {
    if (isVisible()) return;
    CentreOnScreen(*this);
    show();
    raise();
  });
}

void TfrmMatu::Hide() {
  onWindowThread([this] { hide(); });
}

void TfrmMatu::Bar::Changed() {
  const std::int32_t position = Position();
  if (position == shown_) return;
  shown_ = position;
  QProgressBar* widget = widget_;
  if (QThread::currentThread() == widget->thread()) {
    widget->setValue(position);
  } else {
    QMetaObject::invokeMethod(
        widget, [widget, position] { widget->setValue(position); }, Qt::QueuedConnection);
  }
}

}  // namespace zevrin
