#include "platform/AppPaths.h"

#include <QStandardPaths>

namespace qm {

std::filesystem::path dataLocation() {
    return std::filesystem::path(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString());
}

std::filesystem::path appDataDirectory() {
    return dataLocation() / "Quillmark";
}

} // namespace qm
