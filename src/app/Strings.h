#pragma once

// String-table texts of the application core, with their ids.

namespace app {

inline constexpr int kIdsAppName = 57344; // "Orvanta"
inline constexpr char kAppName[] = "Orvanta";
inline constexpr int kIdsAppTitle = 128; // "Orvanta Photo Manager"
inline constexpr char kAppTitle[] = "Orvanta Photo Manager";

inline constexpr int kIdAppAbout = 57664; // "&About"

} // namespace app
