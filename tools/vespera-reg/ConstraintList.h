#pragma once

#include <platform/Registry.h>

#include <string>
#include <vector>

class CRegFile;

// The user's time constraints as the calendar agent reads them: the count in
// "TotalTimeConsts" of the settings key and constraint i in its subkey
// "TConsts\TimeConstraint<i>". Each change is one locked update of the hive,
// so the agent never reads a half-renumbered list.
class CConstraintList {
public:
    struct Constraint {
        std::string start; // date-time texts, read as the agent reads them
        std::string end;
        bool relative = true;
        unsigned days = 0; // weekday bits, 1 Sunday ... 64 Saturday
        bool hasContact = false;
        std::string firstName;
        std::string lastName;
        std::string email;
        std::string agentName;
    };

    struct Entry {
        int index = 0;
        std::vector<CRegistry::NamedValue> values; // empty when the subkey is missing
    };

    static const char* const SettingsKey;

    explicit CConstraintList(CRegistry& registry);

    // Checks the constraint and appends it; its index comes back in `index`.
    bool Add(const Constraint& constraint, int& index);
    // Removes constraint `index` and moves the later ones down by one.
    bool Remove(int index);
    // The stored count and the constraints up to the highest subkey there
    // is; constraints counted beyond it have no subkey.
    bool List(int& total, std::vector<Entry>& entries);

    const std::string& ErrorText() const { return m_error; }

    // The key of constraint i below the hive root.
    static std::string ConstraintKey(int index);
    // The values constraint `constraint` is stored as, in their order.
    // False (with `error`) when the times cannot be read, the end is not
    // after the start, or a text cannot be stored.
    static bool ToValues(const Constraint& constraint, std::vector<CRegistry::NamedValue>& values,
                         std::string& error);

private:
    static int TotalOf(const CRegFile& file);
    static int HighestIndex(const CRegFile& file);
    static void WriteConstraint(CRegFile& file, int index, const std::vector<CRegistry::NamedValue>& values);

    CRegistry& m_registry;
    std::string m_error;
};
