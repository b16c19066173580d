#pragma once

#include <cstddef>
#include <optional>
#include <string>

// A schedule the user asked the program to open (`vespera FILE.ics`,
// `vespera webcal://...`, or a desktop's file manager passing either): a
// file by its path or file:// address, or a web address (http, https,
// webcal). A later start hands the address to the running agent over the
// instance socket, where it goes through the same rules again: anything
// arriving there may be forged.
class CScheduleAddress {
public:
    // The longest argument, and address, taken; the instance socket
    // carries no more.
    static constexpr std::size_t MaxLength = 4096;

    // The address the browser retrieves for `argument`: the file:// address
    // of an existing regular file (a relative path is taken from
    // `workingDirectory`, and refused when that is empty), or a web address
    // with its scheme in lower case. nullopt, with `error` saying why in
    // one line, for anything else.
    static std::optional<std::string> FromArgument(const std::string& argument,
                                                   const std::string& workingDirectory, std::string& error);

private:
    static std::optional<std::string> FromPath(const std::string& path, const std::string& shown,
                                               std::string& error);
    static std::optional<std::string> FromWebAddress(const std::string& address, std::string& error);
};
