#include "ui/theme/BRTheme.h"

namespace qm {

const std::array<BRTheme, 2>& allThemes() {
    static const std::array<BRTheme, 2> themes{BRTheme::dollarGreen, BRTheme::appleBlue};
    return themes;
}

const std::string& rawValue(BRTheme theme) {
    static const std::string dollarGreen = "Dollar Green";
    static const std::string appleBlue = "Apple Blue";
    return theme == BRTheme::dollarGreen ? dollarGreen : appleBlue;
}

std::optional<BRTheme> themeFromRawValue(std::string_view text) {
    for (BRTheme theme : allThemes()) {
        if (rawValue(theme) == text) {
            return theme;
        }
    }
    return std::nullopt;
}

} // namespace qm
