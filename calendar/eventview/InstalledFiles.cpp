#include <eventview/InstalledFiles.h>

#include <filesystem>

namespace installedfiles {

std::string Folder(const std::string& name)
{
    std::error_code ignored;
    const std::filesystem::path program =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path();
    if (std::filesystem::is_directory(program / name, ignored))
        return (program / name).string();
    return (program.parent_path() / "share" / "orvante" / name).string();
}

} // namespace installedfiles
