#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace keelpack {

class Session;

// The status line: shows the text, then lets the front end handle pending events. Apart from
// the waits between a file job's attempts to put its new file in place, this is the only
// place where a run yields to its front end.
void ShowStatus(Session& session, std::string_view text);

// The progress bar; a negative percentage leaves it as it is.
void SetProgress(Session& session, float percentage);

// The files a selected-files run works through: their paths relative to `folder`, in order.
struct FileSelection {
  std::string folder;
  std::vector<std::string> names;
};

// Both runs take what they work on by value: the front end may show another folder, or
// another selection, while they go on.

// Processes the selected files, one after another.
void RunSelectedFiles(Session& session, FileSelection files);

// Processes every JPEG-named file in the folder `top` and in all folders below it.
void RunFolderTree(Session& session, std::string top);

// The folder-tree run's scan: fills the run record's dirList, folderTotal and fileTotal.
void BuildFolderList(Session& session, const std::string& top);

}  // namespace keelpack
