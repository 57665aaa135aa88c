#pragma once
// The two colour themes of the window, both dark. The raw value is the text shown for a
// theme and the value kept under the user default "app_theme".

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

enum class BRTheme { dollarGreen, appleBlue };

// Dollar Green first, although Apple Blue is the default: the order the settings list them in.
const std::array<BRTheme, 2>& allThemes();
// "Dollar Green" or "Apple Blue".
const std::string& rawValue(BRTheme theme);
// The theme whose raw value equals `text` exactly (case-sensitive); absent otherwise.
std::optional<BRTheme> themeFromRawValue(std::string_view text);

} // namespace qm
