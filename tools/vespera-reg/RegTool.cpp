#include "RegTool.h"

#include "ConstraintList.h"
#include "SettingRules.h"

#include <basekit/Utils.h>
#include <platform/Registry.h>

#include <cstdlib>
#include <ostream>

const char* const CRegTool::HelpText =
    "usage: vespera-reg [--hive HKCU|HKCR] [--force] [--json] COMMAND ...\n"
    "\n"
    "  get KEY NAME            print a value (its whole text, whatever its stored type);\n"
    "                          with --json as {\"key\":...,\"name\":...,\"value\":...}\n"
    "  set KEY NAME VALUE      set a string value, creating the key; under the agent's\n"
    "                          settings key the name and value are checked first\n"
    "                          (--force stores them anyway)\n"
    "  delete KEY [NAME]       delete a value, or the key with all its subkeys\n"
    "  list KEY                print NAME=VALUE for each value, then [SUBKEY] for each subkey\n"
    "\n"
    "  constraint add --start TIME --end TIME [--absolute] [--days DAYS]\n"
    "                 [--first NAME] [--last NAME] [--email ADDRESS] [--agent NAME]\n"
    "                          append a time constraint of the calendar agent\n"
    "  constraint list         print TotalTimeConsts and every constraint's values\n"
    "  constraint remove INDEX remove a constraint; the later ones move down\n"
    "\n"
    "KEY is written below the hive, e.g. Software\\ORVANTE\\CalendarAgent; names\n"
    "ignore case. NAME @ is the key's default value. HKCU is the default hive;\n"
    "constraints always live in HKCU.\n"
    "\n"
    "A constraint is relative (times of day on the days given, the default) or\n"
    "--absolute (dated times, no days). TIME is a date-time text such as 9:00,\n"
    "17:30:00, 12/24/2026 9:00:00 AM or 2026-12-24 09:00. DAYS is a number\n"
    "(1 Sunday, 2 Monday, ... 64 Saturday, added up) or names separated by\n"
    "commas: sun,mon,tue,wed,thu,fri,sat (or the names in full), weekdays,\n"
    "weekend, all. Giving any\n"
    "contact field makes the constraint apply to that contact's agent only.\n"
    "\n"
    "The hives are in $ORVANTE_REGISTRY_DIR, else $XDG_CONFIG_HOME/orvante/registry\n"
    "(~/.config/orvante/registry).\n"
    "\n"
    "Exit status: 0 done, 1 not found or failed, 2 wrong usage.\n";

namespace {

std::string ValueName(const std::string& argument)
{
    return argument == "@" ? std::string() : argument;
}

std::string ShownName(const std::string& name)
{
    return name.empty() ? std::string("@") : name;
}

bool ParseIndex(const std::string& text, int& index)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    index = std::atoi(text.c_str());
    return true;
}

unsigned DayBits(const std::string& name)
{
    static const char* const names[] = {"sunday",   "monday", "tuesday", "wednesday",
                                        "thursday", "friday", "saturday"};
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (unsigned i = 0; i < 7; ++i) {
        const std::string full = names[i];
        if (lower == full || lower == full.substr(0, 3))
            return 1u << i;
    }
    if (lower == "weekdays")
        return 62;
    if (lower == "weekend")
        return 65;
    if (lower == "all")
        return 127;
    return 0;
}

bool ParseDays(const std::string& text, unsigned& days)
{
    int number = 0;
    if (ParseIndex(text, number)) {
        days = static_cast<unsigned>(number);
        return number <= 127;
    }
    days = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        unsigned bits =
            DayBits(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (bits == 0)
            return false;
        days |= bits;
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return true;
}

} // namespace

struct CRegTool::Cursor {
    const std::vector<std::string>& args;
    std::size_t next = 0;

    bool AtEnd() const { return next >= args.size(); }
    std::size_t Left() const { return args.size() - next; }
    const std::string& Take() { return args[next++]; }
};

CRegTool::CRegTool(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

int CRegTool::UsageError(const std::string& text)
{
    m_err << "vespera-reg: " << text << "\n(vespera-reg --help shows the usage)\n";
    return Usage;
}

int CRegTool::Failure(const std::string& text)
{
    m_err << "vespera-reg: " << text << "\n";
    return Failed;
}

int CRegTool::ResultStatus(int registryResult, const std::string& text)
{
    if (registryResult == CRegistry::Ok)
        return Done;
    if (registryResult == CRegistry::InvalidInput)
        return UsageError(text);
    return Failure(text);
}

int CRegTool::Run(const std::vector<std::string>& args)
{
    Cursor cursor{args};
    while (!cursor.AtEnd() && cursor.args[cursor.next].rfind("-", 0) == 0) {
        const std::string& option = cursor.Take();
        if (option == "--help" || option == "-h") {
            m_out << HelpText;
            return Done;
        }
        if (option == "--force") {
            m_force = true;
            continue;
        }
        if (option == "--json") {
            m_json = true;
            continue;
        }
        if (option != "--hive")
            return UsageError("unknown option " + option);
        if (cursor.AtEnd())
            return UsageError("--hive needs HKCU or HKCR");
        const std::string& hive = cursor.Take();
        if (hive == "HKCU" || hive == "HKEY_CURRENT_USER")
            m_classesRoot = false;
        else if (hive == "HKCR" || hive == "HKEY_CLASSES_ROOT")
            m_classesRoot = true;
        else
            return UsageError("unknown hive " + hive + " (HKCU or HKCR)");
    }
    if (cursor.AtEnd())
        return UsageError("no command given");
    const std::string& command = cursor.Take();
    if (command == "constraint")
        return RunConstraintCommand(cursor);
    return RunValueCommand(command, cursor);
}

int CRegTool::RunValueCommand(const std::string& command, Cursor& cursor)
{
    if (command == "get")
        return Get(cursor);
    if (command == "set")
        return Set(cursor);
    if (command == "delete")
        return Delete(cursor);
    if (command == "list")
        return List(cursor);
    return UsageError("unknown command " + command);
}

int CRegTool::Get(Cursor& cursor)
{
    if (cursor.Left() != 2)
        return UsageError("get takes KEY NAME");
    const std::string& key = cursor.Take();
    const std::string& name = cursor.Take();
    CRegistry registry(m_classesRoot ? CRegistry::ClassesRoot : CRegistry::CurrentUser);
    std::string value;
    int result = registry.ReadValueUnbounded(key, ValueName(name), value);
    if (result == CRegistry::Ok && m_json)
        m_out << "{\"key\":" << CUtils::json_string(key) << ",\"name\":" << CUtils::json_string(name)
              << ",\"value\":" << CUtils::json_string(value) << "}\n";
    else if (result == CRegistry::Ok)
        m_out << value << "\n";
    return ResultStatus(result, registry.ErrorText());
}

int CRegTool::Set(Cursor& cursor)
{
    if (cursor.Left() != 3)
        return UsageError("set takes KEY NAME VALUE");
    const std::string& key = cursor.Take();
    const std::string& name = cursor.Take();
    const std::string& value = cursor.Take();
    if (!m_force && !m_classesRoot && CSettingRules::AppliesTo(key)) {
        const std::string problem = CSettingRules::Check(name, value);
        if (!problem.empty())
            return UsageError(problem + " (--force stores it anyway)");
    }
    CRegistry registry(m_classesRoot ? CRegistry::ClassesRoot : CRegistry::CurrentUser);
    int result = registry.WriteValue(key, ValueName(name), value);
    return ResultStatus(result, registry.ErrorText());
}

int CRegTool::Delete(Cursor& cursor)
{
    if (cursor.Left() != 1 && cursor.Left() != 2)
        return UsageError("delete takes KEY [NAME]");
    const std::string& key = cursor.Take();
    CRegistry registry(m_classesRoot ? CRegistry::ClassesRoot : CRegistry::CurrentUser);
    int result =
        cursor.AtEnd() ? registry.DeleteKey(key) : registry.DeleteValue(key, ValueName(cursor.Take()));
    return ResultStatus(result, registry.ErrorText());
}

int CRegTool::List(Cursor& cursor)
{
    if (cursor.Left() != 1)
        return UsageError("list takes KEY");
    const std::string& key = cursor.Take();
    CRegistry registry(m_classesRoot ? CRegistry::ClassesRoot : CRegistry::CurrentUser);
    std::vector<CRegistry::NamedValue> values;
    std::vector<std::string> subkeys;
    int result = registry.ListValues(key, values);
    if (result == CRegistry::Ok)
        result = registry.ListSubkeys(key, subkeys);
    if (result != CRegistry::Ok)
        return ResultStatus(result, registry.ErrorText());
    for (const auto& [name, value] : values)
        m_out << ShownName(name) << "=" << value << "\n";
    for (const std::string& subkey : subkeys)
        m_out << "[" << subkey << "]\n";
    return Done;
}

int CRegTool::RunConstraintCommand(Cursor& cursor)
{
    if (m_classesRoot)
        return UsageError("constraints live in HKCU");
    if (cursor.AtEnd())
        return UsageError("constraint takes add, list or remove");
    const std::string& command = cursor.Take();
    if (command == "add")
        return AddConstraint(cursor);
    if (command == "list")
        return ListConstraints(cursor);
    if (command == "remove")
        return RemoveConstraint(cursor);
    return UsageError("unknown constraint command " + command);
}

int CRegTool::AddConstraint(Cursor& cursor)
{
    CConstraintList::Constraint constraint;
    bool haveStart = false;
    bool haveEnd = false;
    bool haveDays = false;
    while (!cursor.AtEnd()) {
        const std::string& option = cursor.Take();
        if (option == "--absolute") {
            constraint.relative = false;
            continue;
        }
        if (cursor.AtEnd())
            return UsageError(option.rfind("--", 0) == 0 ? option + " needs a value"
                                                         : "unexpected " + option);
        const std::string& value = cursor.Take();
        if (option == "--start") {
            constraint.start = value;
            haveStart = true;
        } else if (option == "--end") {
            constraint.end = value;
            haveEnd = true;
        } else if (option == "--days") {
            if (!ParseDays(value, constraint.days))
                return UsageError("cannot read the days \"" + value + "\"");
            haveDays = true;
        } else if (option == "--first")
            constraint.firstName = value;
        else if (option == "--last")
            constraint.lastName = value;
        else if (option == "--email")
            constraint.email = value;
        else if (option == "--agent")
            constraint.agentName = value;
        else
            return UsageError("unknown option " + option);
        constraint.hasContact = constraint.hasContact || option == "--first" || option == "--last" ||
                                option == "--email" || option == "--agent";
    }
    if (!haveStart || !haveEnd)
        return UsageError("constraint add needs --start and --end");
    if (constraint.relative && (!haveDays || constraint.days == 0))
        return UsageError("a relative constraint needs --days with at least one day");
    if (!constraint.relative && haveDays)
        return UsageError("an --absolute constraint has no days");

    std::vector<CRegistry::NamedValue> values;
    std::string error;
    if (!CConstraintList::ToValues(constraint, values, error))
        return UsageError(error);
    CRegistry registry(CRegistry::CurrentUser);
    CConstraintList list(registry);
    int index = 0;
    if (!list.Add(constraint, index))
        return Failure(list.ErrorText());
    m_out << "TimeConstraint" << index << "\n";
    return Done;
}

int CRegTool::ListConstraints(Cursor& cursor)
{
    if (!cursor.AtEnd())
        return UsageError("constraint list takes nothing more");
    CRegistry registry(CRegistry::CurrentUser);
    CConstraintList list(registry);
    int total = 0;
    std::vector<CConstraintList::Entry> entries;
    if (!list.List(total, entries))
        return Failure(list.ErrorText());
    m_out << "TotalTimeConsts=" << total << "\n";
    for (const CConstraintList::Entry& entry : entries) {
        m_out << "[TimeConstraint" << entry.index << "]" << (entry.values.empty() ? " (no subkey)" : "")
              << "\n";
        for (const auto& [name, value] : entry.values)
            m_out << name << "=" << value << "\n";
    }
    if (static_cast<int>(entries.size()) < total)
        m_out << "(TimeConstraint" << entries.size() << " to TimeConstraint" << total - 1 << ": no subkey)\n";
    return Done;
}

int CRegTool::RemoveConstraint(Cursor& cursor)
{
    int index = 0;
    if (cursor.Left() != 1 || !ParseIndex(cursor.Take(), index))
        return UsageError("constraint remove takes the INDEX of a constraint");
    CRegistry registry(CRegistry::CurrentUser);
    CConstraintList list(registry);
    if (!list.Remove(index))
        return Failure(list.ErrorText());
    return Done;
}
