// Paths and folders of the platform: the executable's own path, folder creation,
// and the user's standard folders.
#pragma once

#include <string>

// Full path of the running executable (readlink of /proc/self/exe); empty on failure.
std::string ModulePath();

// The folder part of a path, ending with "/" ("" when the path has no "/").
std::string FolderOf(const std::string& path);

// Creates one folder with mode 0755. False when it could not be created, also
// when it already exists; callers that only need it to exist ignore the result.
bool CreateDirectory(const std::string& path);

bool IsDirectory(const std::string& path);

// $XDG_VIDEOS_DIR, else $HOME/Videos (no trailing "/").
std::string UserVideosDir();

// $XDG_PICTURES_DIR, else $HOME/Pictures (no trailing "/").
std::string UserPicturesDir();

// Replaces the file at path whole with content: a fresh file beside it is written,
// flushed to disk and renamed over it (then the folder is flushed), so path holds the
// old content or the new, never a mix. A replaced file keeps its permissions; a new one
// gets 0666 minus the umask. False, with the reason when asked and path untouched, when
// anything fails.
bool ReplaceFile(const std::string& path, const std::string& content,
                 std::string* reason = nullptr);
