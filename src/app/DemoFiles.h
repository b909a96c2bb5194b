// The demo scripts of the Demo page: the "demo?.tdl" files of a folder, the
// caption of each one's button and the grid the buttons are laid out in.
#pragma once

#include <string>
#include <vector>

namespace kyd::app {

// Names (not paths) of the files in dir matching "demo?.tdl" (letters in
// any case) that are regular files, sorted by name. An unreadable folder
// gives none.
std::vector<std::string> FindDemoFiles(const std::string& dir);

// A button's caption: when the file's first line begins with "//", the rest
// of that line after the blanks that follow, at most 19 characters;
// otherwise (and when that rest is empty or the file cannot be read) the
// file name. Only a regular file is opened.
std::string DemoCaption(const std::string& dir, const std::string& fileName);

struct DemoGrid {
    int Rows = 0;
    int Cols = 0;
};
// Rows and columns for count buttons: below 4 one row; below 9 two rows;
// below 16 three rows; else four rows; columns = count / rows rounded up.
DemoGrid DemoLayout(int count);

} // namespace kyd::app
