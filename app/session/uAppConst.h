// The program's language decision and the status texts of opening, saving and the edits,
// shared by the command line and the window so that both always say the same.
#pragma once

#include <string>

namespace zevrin {

// Japanese exactly when the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty
// begins with "ja"; English otherwise.
bool JapaneseFromEnvironment();

std::string StatusOpened(bool japanese, const std::string& file);
std::string StatusSaved(bool japanese, const std::string& file);    // the Save command
std::string StatusSavedAs(bool japanese, const std::string& file);  // the Save As command
// After the Mirror bone edit.
std::string StatusBoneMirrored(bool japanese);
std::string StatusHalvejoined(bool japanese, const std::string& file);
std::string StatusConnected(bool japanese, const std::string& file);
std::string StatusAttached(bool japanese);
std::string StatusDetached(bool japanese);

// The program's name and version, as the window's caption, the page's title and the About
// box show them.
inline constexpr const char* kProgramCaption = "Zevrin Ver0.56";
inline constexpr const char* kVersionStatus = "Ver0.56";

// The two formats a model saves in, as Save As offers them.
inline constexpr const char* kBracketedFilter = "AniMas ModelFile(seg,mdl) (*.seg *.mdl)";
inline constexpr const char* kTagFilter = "AniMas tag file, version 14 and later(mdl) (*.mdl)";

// The template model read before a polygon file is converted into it.
inline constexpr const char* kTemplateFileName = "animas_reference.mdl";

}  // namespace zevrin
