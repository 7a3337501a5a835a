// Where the program reads its translation catalogues from.
#pragma once

#include <filesystem>

namespace plenhall {

struct CatalogueLocations {
    std::filesystem::path buildProgram;     // the program as the build made it
    std::filesystem::path buildCatalogues;  // the catalogues the build compiled for it
    std::filesystem::path besideProgram;    // installed ones, relative to the program's directory
    std::filesystem::path configured;       // installed ones, under the configured prefix
};

// The build's catalogues only for the program the build made, run where it was built, so tests of
// the built program read the catalogues built with it. Any other program, a copy of it inside the
// build tree included, is an installed one: it reads the catalogues installed beside it (a package
// may install under another prefix than the build was configured for), else those of the
// configured prefix. `runningProgram` is empty when the system does not say.
std::filesystem::path catalogueDirectory(const std::filesystem::path& runningProgram,
                                         const CatalogueLocations& locations);

}  // namespace plenhall
