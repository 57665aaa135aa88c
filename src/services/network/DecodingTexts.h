#pragma once
// The descriptions a reply that does not decode is reported with (the same texts the
// platform's JSON decoder gives): a required member missing, or anything of the wrong shape.

namespace qm {

inline constexpr const char* decodingMissingText =
    "The data couldn\u2019t be read because it is missing.";
inline constexpr const char* decodingMalformedText =
    "The data couldn\u2019t be read because it isn\u2019t in the correct format.";

} // namespace qm
