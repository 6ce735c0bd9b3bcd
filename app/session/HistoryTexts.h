// What every front end says about undo and redo, the questions before work could be lost and
// the title, in Japanese and English, so that the window and the page always say the same.
// The menu texts carry the window's keyboard marks ("&U", "(&U)"); WithoutMarks takes them
// out for a front end that has none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zevrin {

// A caption without its keyboard marks: "(&U)" goes whole, "&" before a letter goes, "&&"
// stays one "&".
std::string WithoutMarks(std::string_view caption);

// The edits by the names their menu items give them ("&Halvejoin" is "Halvejoin").
std::string EditName(std::string_view caption);

// The menu items; `edit` empty: nothing to undo or redo.
std::string UndoItem(bool ja, const std::string& edit);
std::string RedoItem(bool ja, const std::string& edit);
// The status line after an undo or a redo.
std::string Undone(bool ja, const std::string& edit);
std::string Redone(bool ja, const std::string& edit);
std::string Cancelled(bool ja);

// The question before a changed document is closed or replaced, and its buttons.
std::string SaveChangesTitle(bool ja);
std::string SaveChanges(bool ja, const std::string& file);
std::string SaveButton(bool ja);
std::string DiscardButton(bool ja);
std::string CancelButton(bool ja);
// The question before Halvejoin of a model that already has points on both sides of X = 0.
std::string AlreadyWholeTitle(bool ja);
std::string AlreadyWhole(bool ja);

// Notes beside the status line when the undo history outgrew its budget.
std::string OldestStepsDropped(bool ja, std::int32_t steps, std::size_t budget_bytes);
std::string StepNotKept(bool ja, std::size_t budget_bytes);

// The title: the caption, then the open file's name and a mark once it changed.
std::string Title(const std::string& caption, const std::string& file, bool modified);

}  // namespace zevrin
