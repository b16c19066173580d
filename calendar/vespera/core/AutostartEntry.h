#pragma once

#include <string>

// The user's entry that starts the program with their desktop session:
// $XDG_CONFIG_HOME/autostart/orvante-vespera.desktop (~/.config/autostart
// without it). It has the name of the entry the package installs, switched
// off, in the system's autostart folder, so that the user's entry takes its
// place (and removing the user's entry switches autostart off again).
class CAutostartEntry {
public:
    static constexpr const char* FileName = "orvante-vespera.desktop";

    static std::string Path();
    // Whether the user's entry is there and not switched off (Hidden=true,
    // or X-GNOME-Autostart-enabled=false, as session settings write it).
    static bool IsEnabled();
    // The entry for the program at `program` (an absolute path), started
    // with --autostart; empty when the path cannot stand in an entry (a
    // line break in it).
    static std::string Text(const std::string& program);
    // Writes the entry for the program at `program`, replacing the file
    // whole; false with `error` saying why.
    static bool Enable(const std::string& program, std::string& error);
    // The same for the running program.
    static bool Enable(std::string& error);
    // Removes the user's entry; true when none is left.
    static bool Disable(std::string& error);
    // The running program's own path.
    static std::string RunningProgram();

    // `argument` as one argument of an entry's Exec line: quoted when it
    // holds a character the line reserves, with the escapes of both the
    // line and the entry's string values.
    static std::string ExecArgument(const std::string& argument);
};
