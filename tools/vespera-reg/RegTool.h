#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The command line of vespera-reg: reads and changes the registry hives and
// the calendar agent's time constraints. Run() never throws; it returns the
// process exit status: 0 done, 1 not found or failed, 2 wrong usage.
class CRegTool {
public:
    enum Status { Done = 0, Failed = 1, Usage = 2 };

    CRegTool(std::ostream& out, std::ostream& err);

    // `args` without the program name.
    int Run(const std::vector<std::string>& args);

    static const char* const HelpText;

private:
    struct Cursor;

    int RunValueCommand(const std::string& command, Cursor& cursor);
    int Get(Cursor& cursor);
    int Set(Cursor& cursor);
    int Delete(Cursor& cursor);
    int List(Cursor& cursor);
    int RunConstraintCommand(Cursor& cursor);
    int AddConstraint(Cursor& cursor);
    int ListConstraints(Cursor& cursor);
    int RemoveConstraint(Cursor& cursor);

    int UsageError(const std::string& text);
    int Failure(const std::string& text);
    int ResultStatus(int registryResult, const std::string& text);

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_classesRoot = false;
    // Stores a settings value the agent would not read as meant.
    bool m_force = false;
    bool m_json = false;
};
