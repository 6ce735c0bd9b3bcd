// Files dropped from the desktop onto a form. The component collects the dropped paths and
// hands them to the form through OnDropped only after the drop event has returned (queued):
// a load must never run inside the window system's drag-and-drop handling.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QWidget;

namespace zevrin {

class TDropAccept : public QObject {
 public:
  // A component of `form`, which must outlive it; not yet accepting drops.
  explicit TDropAccept(QWidget* form);
  ~TDropAccept() override;
  TDropAccept(const TDropAccept&) = delete;
  TDropAccept& operator=(const TDropAccept&) = delete;

  // Whether the form accepts dropped files. Setting the current value again does nothing.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The local paths of the last drop, in the order the desktop gave them.
  const QStringList& Files() const { return files_; }

  // Called with the component after the paths of a drop have been collected.
  std::function<void(TDropAccept&)> OnDropped;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Takes the paths of one drop; runs from the event loop, after the drop event.
  virtual void DoDrop(const QStringList& paths);

 private:
  QWidget* form_;
  bool enabled_ = false;
  QStringList files_;
};

}  // namespace zevrin
