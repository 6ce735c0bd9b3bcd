// File > Export..: the document's patches written as a polygon file in any format the writer
// knows, through the same export as the command line's.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>

#include "app/session/DocumentExport.h"
#include "app/session/uAppConst.h"
#include "app/uFormUtil.h"
#include "app/uMain.h"
#include "util/FilePath.h"

namespace zevrin {

void TfrmMain::createExportAction() {
  mnExport = new QAction(
      japanese_ ? QStringLiteral("エクスポート(&E)") : QStringLiteral("&Export.."), mnFile);
  mnExport->setObjectName(QStringLiteral("mnExport"));
  // Below Save As: an export is a save in another form.
  const QList<QAction*> items = mnFile->actions();
  const qsizetype at = items.indexOf(mnSaveAs);
  mnFile->insertAction(at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr, mnExport);
  // Whatever enables Save As (an open document) enables the export.
  mnExport->setEnabled(mnSaveAs->isEnabled());
  connect(mnSaveAs, &QAction::enabledChanged, mnExport, &QAction::setEnabled);
  connect(mnExport, &QAction::triggered, this, [this] { mnExportClick(); });

  ExportDialog = new QFileDialog(this);
  ExportDialog->setObjectName(QStringLiteral("ExportDialog"));
  ExportDialog->setAcceptMode(QFileDialog::AcceptSave);
  ExportDialog->setFileMode(QFileDialog::AnyFile);
  // Every file an export replaces is kept as .bak, as for a save.
  ExportDialog->setOption(QFileDialog::DontConfirmOverwrite);
  QStringList filters;
  for (const std::string& f : assimp_writer_.Filters()) filters.append(FromCore(f));
  ExportDialog->setNameFilters(filters);
}

void TfrmMain::mnExportClick() {
  if (busy_ || !session_.Document) return;
  // The document's name with the extension of the chosen format.
  const QRegularExpression pattern(QStringLiteral("\\*(\\.[A-Za-z0-9]+)"));
  const auto extensionOf = [&](const QString& filter) {
    const QRegularExpressionMatch m = pattern.match(filter);
    return m.hasMatch() ? m.captured(1) : QStringLiteral(".obj");
  };
  const QFileInfo current(CurrentFile());
  ExportDialog->setDirectory(current.absolutePath());
  ExportDialog->selectFile(current.completeBaseName() +
                           extensionOf(ExportDialog->selectedNameFilter()));
  if (ExportDialog->exec() != QDialog::Accepted || ExportDialog->selectedFiles().isEmpty()) return;
  QString path = QDir::toNativeSeparators(ExportDialog->selectedFiles().constFirst());
  if (FileExtension(ToCore(path)).empty()) path += extensionOf(ExportDialog->selectedNameFilter());
  command([this, &path] {
    const ExportResult result = ExportPatches(session_, ToCore(path), assimp_writer_);
    SetMemo(result.Memo);
    ShowStatus(StatusSavedAs(japanese_, result.Files.front()));
  });
}

}  // namespace zevrin
