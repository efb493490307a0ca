// The client folder's tidy-up before a hand-over: the Temp staging folder is merged into the client
// folder and removed, and the deletion list DeleteFiles.txt is applied and removed. Best effort: what
// fails is passed over and tried again at the next start.
#pragma once

#include <string>
#include <vector>

// Copies the source tree over the destination tree; false when a file could not take its place.
// Symbolic links are neither copied nor entered, so nothing outside the staging folder is read.
bool CopyFolderTree(std::string source, std::string destination);
// Merges the client folder's Temp staging folder into it and removes Temp, when every staged file
// took its place; otherwise Temp stays, with what was not merged, for the next start. A Temp that is
// a link is left alone. False when Temp stays.
bool MergeStagingFolder(const std::string& clientFolder);
// Deletes every file and subfolder inside folder; the folder itself stays. Links are removed, never
// followed.
void DeleteFolderTree(std::string folder);
// Applies and deletes clientFolder's DeleteFiles.txt; false when there is none. Only paths inside the
// client folder are touched, and only files with a deletable extension or empty folders.
bool ApplyDeleteList(const std::string& clientFolder);
std::vector<std::string> SplitPath(const std::string& text, char separator);

// The deletion list's targets for the list's lines, as paths with "\" separators rooted like base
// (which is lower-cased here). Exposed for the fuzz target and the tests.
std::vector<std::string> DeleteListTargets(const std::string& base, const std::vector<std::string>& lines);

// The real path of a path whose components may differ from the real names in letter case; empty when
// a component is missing or, from component linkFreeFrom on and before the last one, is a symbolic link.
std::string ResolveIgnoringCase(const std::string& path, size_t linkFreeFrom);
