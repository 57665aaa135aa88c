#pragma once
// Where the wallet keeps its files: the "Quillmark" folder under the user's
// data location (usually ~/.local/share/Quillmark).

#include <filesystem>

namespace qm {

// The user's data location (QStandardPaths::GenericDataLocation); tests may point it elsewhere
// with XDG_DATA_HOME.
std::filesystem::path dataLocation();
// dataLocation() / "Quillmark". Not created here.
std::filesystem::path appDataDirectory();

} // namespace qm
