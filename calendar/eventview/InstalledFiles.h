#pragma once

#include <string>

// The folders the program ships beside itself (help pages, example
// schedules): "<name>" beside the program in a build tree, else
// share/orvante/<name> of the installation.
namespace installedfiles {

std::string Folder(const std::string& name);

} // namespace installedfiles
