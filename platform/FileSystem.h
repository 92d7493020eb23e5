// Paths of the process and folders on disk. Stateless; any thread.
#pragma once

#include <string>

namespace platform {

// Folder of /proc/self/exe, ending in "/"; empty when it cannot be read.
std::string ExecutableFolder();
// "dir/name.ext" (either slash) → "name".
std::string BaseNameWithoutExtension(const std::string& path);
// $XDG_DOCUMENTS_DIR, else $HOME/Documents; created when missing. Empty on failure.
std::string DocumentsFolder();
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Creates the folder and its missing parents (mode 0700). True when it exists afterwards.
bool MakeDirectories(const std::string& path);
// Replaces the file at `path` with `text` at once: written beside it, then renamed over it, so
// a reader sees the old text or the new, never part of one. False when it could not.
bool ReplaceFile(const std::string& path, const std::string& text);

}  // namespace platform
