// What every front end says about the shaded view, in Japanese and English: its menu and combo
// captions, its direction buttons, the note of its counts and angles, and the notes on how it
// is drawn. The window and the page show the same words.
#pragma once

#include <cstddef>
#include <string>

namespace zevrin {

// The View menu's item (with its keyboard mark) and the direction combo box's entry.
std::string ShadedViewItem(bool ja);
std::string ShadedComboItem(bool ja);
// The checkable item that draws the splines over the surface.
std::string ShadedSplinesItem(bool ja);
// The buttons over the picture: the three fixed directions and the fitted picture.
std::string ShadedFrontButton(bool ja);
std::string ShadedLeftButton(bool ja);
std::string ShadedTopButton(bool ja);
std::string ShadedFitButton(bool ja);
// The progress window's name of making the surface of the document.
std::string ShadedStep(bool ja);

// The note beside the status line: the counts of the surface ("patches=2 holes=4
// unorientable=0") and the direction seen from, whole degrees.
std::string ShadedCounts(bool ja, std::size_t patches, std::size_t holes, std::size_t unorientable);
std::string ShadedAngles(bool ja, double yaw, double pitch);
// The picture is drawn without OpenGL (none could be had), in software.
std::string ShadedInSoftware(bool ja);
// Making the surface was stopped: the view shows nothing until it is made.
std::string ShadedNotMade(bool ja);

}  // namespace zevrin
