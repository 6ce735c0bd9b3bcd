#include "app/DropAcc.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace zevrin {
namespace {

// The local files among the dropped items; links to other places are no files to open.
QStringList localFiles(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  return paths;
}

}  // namespace

TDropAccept::TDropAccept(QWidget* form) : QObject(form), form_(form) {
  setObjectName(QStringLiteral("DropAccept"));
  form_->installEventFilter(this);
}

TDropAccept::~TDropAccept() {
  SetEnabled(false);
  form_->removeEventFilter(this);
}

void TDropAccept::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  form_->setAcceptDrops(enabled);
}

bool TDropAccept::eventFilter(QObject* watched, QEvent* event) {
  if (watched != form_ || !enabled_) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (localFiles(drag->mimeData()).isEmpty()) {
        drag->ignore();
      } else {
        drag->acceptProposedAction();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList paths = localFiles(drop->mimeData());
      if (paths.isEmpty()) return true;
      drop->acceptProposedAction();
      QMetaObject::invokeMethod(
          this, [this, paths] { DoDrop(paths); }, Qt::QueuedConnection);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

void TDropAccept::DoDrop(const QStringList& paths) {
  files_ = paths;
  if (OnDropped) OnDropped(*this);
}

}  // namespace zevrin
