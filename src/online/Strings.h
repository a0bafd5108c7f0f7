#pragma once

// Fixed texts of the online subsystem's messages, with their string ids.

namespace online {

// String 141.
constexpr int kStringNewVersion = 141;
constexpr const char* kNewVersionMessage =
    "There is a new version avaliable.\n\nThis version contains the following "
    "improvements:\n%s\n\nWould you like to upgrade?";

constexpr const char* kErrorMessage = "Error";

} // namespace online
