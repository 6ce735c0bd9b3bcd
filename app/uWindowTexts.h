// The window's own texts beyond the captions, hints and status texts that it has always had:
// undo and redo, the questions before work could be lost, the view's zoom, the notes beside
// the status line and the counts that the memo adds. Each in Japanese and English.
#pragma once

#include <QString>
#include <cstdint>

#include "app/session/Document.h"

namespace zevrin::texts {

// The edits by the names their menu items give them.
QString EditName(const char* caption);

QString UndoItem(bool ja, const QString& edit);  // edit empty: nothing to undo
QString RedoItem(bool ja, const QString& edit);
QString Undone(bool ja, const QString& edit);
QString Redone(bool ja, const QString& edit);
QString Cancelled(bool ja);
// The progress window's name of a load.
QString OpeningStep(bool ja, const QString& file);

QString ZoomInItem(bool ja);
QString ZoomOutItem(bool ja);
QString FitItem(bool ja);
QString RecentMenu(bool ja);
QString SaveButton(bool ja);
QString DiscardButton(bool ja);
QString CancelButton(bool ja);

// The question before a changed document is closed or replaced; and before Halvejoin of a
// model that already has points on both sides of X = 0.
QString SaveChangesTitle(bool ja);
QString SaveChanges(bool ja, const QString& file);
QString AlreadyWholeTitle(bool ja);
QString AlreadyWhole(bool ja);
// A file to open that is not there, by its path.
QString NoSuchFile(bool ja, const QString& path);

// Notes beside the status line.
QString LabelsLeftOut(bool ja, std::int64_t shown, std::int64_t left_out);
QString OldestStepsDropped(bool ja, std::int32_t steps, std::size_t budget_bytes);
QString StepNotKept(bool ja, std::size_t budget_bytes);
QString NoBoneOffThePlane(bool ja);
QString ZoomNote(bool ja, long double zoom);

// Memo lines added to the Part's: what the next save leaves out, attached points before and
// after, bones copied.
QString LeftOutLine(bool ja, const SaveOmissions& left_out);
QString AttachedLine(std::int64_t before, std::int64_t after);
QString BonesCopiedLine(std::int32_t copied);

// The window's title: the caption, then the open file's name and a mark once it changed.
QString Title(const QString& caption, const QString& file, bool modified);

}  // namespace zevrin::texts
