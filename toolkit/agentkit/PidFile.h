#pragma once

#include <ctime>
#include <string>

// The file that tells other programs an agent is running and since when:
// <home>/system/pid/<agent name>.txt, holding the start time as
// ":date (tell :day D :month M :year Y :hour h :minute m :second s)".
//
// Only a file this object wrote is ever removed, so an agent that failed to
// write its own never deletes another agent's.
class CPidFile {
public:
    enum Result { CREATED, NO_HOME, BAD_NAME, OPEN_FAILED };

    CPidFile();
    ~CPidFile();

    CPidFile(const CPidFile&) = delete;
    CPidFile& operator=(const CPidFile&) = delete;

    // Makes the directories as needed and writes the file for `name` under
    // `home`. The name must be usable as one file name: not empty, no '/',
    // not "." or "..", so that it cannot point outside the directory.
    Result write(const char* home, const char* name, const struct tm& now);
    // Deletes the file written last; 1 when one was deleted.
    int remove();

    // The path of the file written, empty when none is.
    const std::string& get_path() const;

    static bool usable_name(const char* name);
    static std::string date_text(const struct tm& now);

private:
    std::string path;
};
