#pragma once

#include <string>

// The program's own help pages, opened in the user's web browser. They are
// installed beside the program; the registry value "HelpHost" of the
// agent's key can point them elsewhere (another folder as a file://
// address, or a web server).
namespace HelpPages {

constexpr const char* HomePage = "/Cal/Help/index.html";
constexpr const char* MainWindowPage = "/Cal/Help/CurrentEventsBrowser.html";
constexpr const char* OptionsPage = "/Cal/Help/Options.html";
constexpr const char* BrowserPage = "/Cal/Help/ScheduleBrowser.html";

// The stored "HelpHost", else the installed help folder as a file://
// address (without a trailing slash).
std::string Host();
// The installed help folder: "help" beside the program in a build tree,
// else share/orvante/help of the installation.
std::string InstalledFolder();
// Opens Host() + path; a page that cannot be opened beeps and is reported
// with the browser utility's error box. True when it was opened.
bool Open(const std::string& path);

} // namespace HelpPages
