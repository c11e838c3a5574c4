#pragma once

#include <string>
#include <string_view>

namespace keelpack {

class Session;

// The status line: shows the text, then lets the front end handle pending events. Apart from
// the waits between a file job's attempts to put its new file in place, this is the only
// place where a run yields to its front end.
void ShowStatus(Session& session, std::string_view text);

// The progress bar; a negative percentage leaves it as it is.
void SetProgress(Session& session, float percentage);

// Processes the selected entries of the front end's file list, one after another.
void RunSelectedFiles(Session& session);

// Processes every JPEG-named file in the front end's folder and in all folders below it.
void RunFolderTree(Session& session);

// The folder-tree run's scan: fills the run record's dirList, folderTotal and fileTotal.
void BuildFolderList(Session& session, const std::string& top);

}  // namespace keelpack
