#pragma once

#include <string>

// Replaces a file's whole content so that readers, and the file after a
// crash, see either the old content or the new one, never a part: the text
// goes to a temporary file beside it, which is synced and renamed over it,
// and the folder is synced so the rename itself survives a crash.
class CAtomicFile {
public:
    // False with `error` set when any step failed; the old file is then
    // untouched and the temporary file removed.
    static bool Write(const std::string& path, const std::string& content, std::string& error);

private:
    static bool WriteAll(int fd, const std::string& content);
    static std::string FolderOf(const std::string& path);
    static void SyncFolder(const std::string& path);
};
