#pragma once

#include <string>

// Web pages opened for the agent's user in the desktop's browser.
namespace webpage {

// Only web pages are opened for another agent: a local file or a program
// named by a remote peer must never be started on the user's desktop.
bool IsWebAddress(const std::string& address);

} // namespace webpage
