#pragma once

#include <wirekit/LogFacility.h>

#include <cstdint>
#include <optional>
#include <string>

// The file log module: writes every message it is handed and every
// registration change into a per-agent log file, which is also its debug log.
//
// The file is "<home>/Logfiles/Log-<Day>-<Mon>/<name>-<time>.txt", home being
// the toolkit home directory ($ORVANTE) and <time> CDebug::my_asctime of the
// local time at construction. Without a home directory, without a "name"
// belief, or when a directory cannot be made, there is no file and the module
// writes nothing. Characters of the module name that would lead out of the
// day directory ('/', '\' and "..") are written as '_', and a name too long
// for a file name is cut to 200 bytes.
class CFileModule : public CLogFacility {
public:
    CFileModule(const char* name, CBeliefDB* beliefdb, CCommunicator* communicator, unsigned value);
    // Writes "<CFileModule> shutting down" and closes the file.
    ~CFileModule() override;

    // One line per state: "[<agent>] [++] Idle state logged", ... Returns 1;
    // 0 without a belief database, a "name" belief or a communicator.
    int change_state(unsigned state) override;
    // Appends "[---] [<agent>] <direction> <text>" to the file, the text's
    // line breaks written as blanks. Null and empty texts and texts holding
    // the filter are left out.
    void process_message(const char* text, int direction) override;

    // Texts holding `filter` are not logged; null or empty clears it.
    void set_filter(const char* filter);
    // Owned by the module; null when no filter is set.
    const char* get_filter();

    // "Log-<Day>-<Mon>" of the current local time; owned by the module,
    // valid until the next call.
    char* get_logdir();

    // Messages logged so far.
    uint32_t get_counter();

    // The module name as it appears in the file name.
    static std::string safe_file_part(const char* name);

private:
    void open_log();
    bool make_directory(const std::string& path);
    void write_message(const char* agent, const char* text, int direction);

    uint32_t counter = 0;
    std::optional<std::string> filter;
    std::string logdir;
};
