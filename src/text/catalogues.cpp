#include "text/catalogues.h"

#include <system_error>

namespace plenhall {

std::filesystem::path catalogueDirectory(const std::filesystem::path& runningProgram,
                                         const CatalogueLocations& locations) {
    if (runningProgram.empty()) return locations.configured;
    std::error_code error;
    // The same file, whatever the paths: the build's may run through a symbolic link, while the
    // system names the running program by its real path.
    if (std::filesystem::equivalent(runningProgram, locations.buildProgram, error))
        return locations.buildCatalogues;
    auto beside = (runningProgram.parent_path() / locations.besideProgram).lexically_normal();
    if (std::filesystem::is_directory(beside, error)) return beside;
    return locations.configured;
}

}  // namespace plenhall
