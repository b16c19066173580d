#pragma once

#include <string>

class CRegistry;

namespace outlook {
// The key the calendar agent's settings live under in HKEY_CURRENT_USER.
constexpr const char* AgentSettingsKey = "Software\\ORVANTE\\CalendarAgent";

// A value of the agent's settings as the back-ends read it: without the
// stray blanks and tabs hand edits leave; empty when missing.
std::string ReadAgentSetting(const CRegistry& registry, const char* name);

// `text` without the blanks, tabs and line ends around it.
std::string Trimmed(const std::string& text);
// `text` in ASCII lower case.
std::string Lowered(std::string text);
} // namespace outlook
