#include <vespera/core/ScheduleAddress.h>

#include <graphstore/DocumentFetcher.h>

#include <cctype>
#include <filesystem>

namespace {

// The scheme of "scheme://...", in lower case; empty when the text does
// not start with one (a path, then).
std::string SchemeOf(const std::string& text)
{
    const std::size_t end = text.find("://");
    if (end == std::string::npos || end == 0)
        return std::string();
    std::string scheme;
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(other && i > 0))
            return std::string();
        scheme += static_cast<char>(std::tolower(c));
    }
    return scheme;
}

bool HasControlCharacters(const std::string& text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

} // namespace

std::optional<std::string> CScheduleAddress::FromArgument(const std::string& argument,
                                                          const std::string& workingDirectory,
                                                          std::string& error)
{
    if (argument.empty() || argument.size() > MaxLength || HasControlCharacters(argument)) {
        error = argument.empty()
                    ? "an empty name is no schedule"
                    : "a schedule's name must be one line of at most " + std::to_string(MaxLength) + " bytes";
        return std::nullopt;
    }
    const std::string scheme = SchemeOf(argument);
    if (scheme == "http" || scheme == "https" || scheme == "webcal")
        return FromWebAddress(scheme + argument.substr(scheme.size()), error);
    if (scheme == "file") {
        std::string path;
        if (!CDocumentFetcher::LocalPathOf(scheme + argument.substr(scheme.size()), path)) {
            error = argument + " names a file of another machine";
            return std::nullopt;
        }
        return FromPath(path, argument, error);
    }
    if (!scheme.empty()) {
        error = argument + ": only files and http, https and webcal addresses are opened";
        return std::nullopt;
    }
    if (argument[0] != '/' && workingDirectory.empty()) {
        error = argument + ": the path of a file must be absolute here";
        return std::nullopt;
    }
    const std::filesystem::path path = argument[0] == '/'
                                           ? std::filesystem::path(argument)
                                           : std::filesystem::path(workingDirectory) / argument;
    return FromPath(path.lexically_normal().string(), argument, error);
}

std::optional<std::string> CScheduleAddress::FromPath(const std::string& path, const std::string& shown,
                                                      std::string& error)
{
    std::error_code failure;
    if (!std::filesystem::is_regular_file(path, failure)) {
        error = shown + (std::filesystem::exists(path, failure) ? " is not a file" : ": no such file");
        return std::nullopt;
    }
    std::string address = CDocumentFetcher::FileAddressOf(path);
    if (address.size() > MaxLength) {
        error = shown + ": the path is too long to be handed on";
        return std::nullopt;
    }
    return address;
}

std::optional<std::string> CScheduleAddress::FromWebAddress(const std::string& address, std::string& error)
{
    if (address.find_first_of(" \t") != std::string::npos) {
        error = address + ": a web address has no blanks (write them as %20)";
        return std::nullopt;
    }
    if (CDocumentFetcher::HostOf(address).empty()) {
        error = address + ": the address names no host";
        return std::nullopt;
    }
    return address;
}
