#pragma once

#include <string>

// Web pages opened for the agent's user in the desktop's browser.
namespace webpage {

// An opening result above this means the page was opened.
constexpr int OpenedThreshold = 32;
// "There is no application associated with the given filename extension":
// no browser, or no desktop to show one on.
constexpr int NoBrowserCode = 31;

// Only web pages are opened for another agent: a local file or a program
// named by a remote peer must never be started on the user's desktop.
bool IsWebAddress(const std::string& address);

// Hands `address` to the desktop's browser through xdg-open, run without a
// shell; above OpenedThreshold when it was opened, else an error code for
// BrowserErrorText.
int OpenWithDesktop(const std::string& address);

// What an opening error code means, for the user.
std::string BrowserErrorText(int code);

} // namespace webpage
