#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CRegistry;

// The show command that asks for a browser window shown normally.
constexpr int SW_SHOW = 5;

// Opens web addresses and help pages in the user's web browser, and says why
// one could not be opened.
//
// GotoURL asks the desktop to open the address (xdg-open, run without a
// shell and not waited for). When xdg-open cannot be started, the browser
// registered for HTML pages in the classes hive (the default value of
// ".htm", then of "<type>\shell\open\command") is started with the address
// instead. The address is always one argument. Only http and https
// addresses and the shipped help pages and example schedules are opened.
// Nothing is shown: callers report a result of 32 or less with ReportError.
class CWebBrowserUtil {
public:
    // A result above this means the page was opened.
    static constexpr int OpenedThreshold = 32;
    // "There is no application associated with the given filename
    // extension": no browser, or no desktop to show one on.
    static constexpr int NoBrowserCode = 31;
    // Added to ReportError's text after xdg-open could not be started.
    static constexpr const char* OpenerMissingText =
        "xdg-open is not installed (Debian package xdg-utils), and no browser is registered for HTML pages.";

    CWebBrowserUtil();
    // Reads the classes hive from `registryDirectory` (tests).
    explicit CWebBrowserUtil(const std::string& registryDirectory);
    virtual ~CWebBrowserUtil();

    // Above OpenedThreshold when the address was handed to a browser, else
    // an error code for ReportError. The show command is kept for callers
    // that pass one; desktops here choose how to show the browser.
    int GotoURL(const char* address, int showCommand);
    // GotoURL, and for an address that cannot be opened the exclamation
    // sound and ReportError. True when it was opened.
    bool OpenOrReport(const std::string& address);
    // A message box with the exclamation icon: "Unable to open
    // hyperlink:\n\n" and ErrorText(code), and OpenerMissingText when this
    // object found xdg-open missing.
    void ReportError(int code);
    // http, https, or a file:// address inside the shipped help pages or
    // example schedules (or the file:// HelpHost the user set).
    static bool IsOpenable(const std::string& address);
    // Browsers started that have not ended yet (reaped on the way).
    static std::size_t RunningBrowsers();
    static std::string ErrorText(int code);

    // The registered browser's command line made ready for `address`: cut at
    // the first "\"%1\"", else at the first "%1", else kept whole, then a
    // blank and the address appended.
    static std::string CommandLineFor(const std::string& commandLine, const std::string& address);
    // The registered command line cut as CommandLineFor cuts it, without
    // the address.
    static std::string ProgramPartOf(const std::string& commandLine);
    // A command line split into arguments the way a shell would split plain
    // words and double-quoted ones, without running one.
    static std::vector<std::string> SplitCommandLine(const std::string& commandLine);

protected:
    // Starts a program with its arguments without waiting for it: above
    // OpenedThreshold when it started, 2 when it is not installed. Virtual
    // so that tests see what would have run.
    virtual int Spawn(const std::vector<std::string>& arguments);

private:
    // 0 on success, else the registry's result; `out` holds the default
    // value of `subKey` (at most 259 characters).
    int GetRegKey(const CRegistry& classes, const std::string& subKey, std::string& out);

    std::string m_registryDirectory;
    bool m_openerMissing = false;
};
