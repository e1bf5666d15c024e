#pragma once

// The program's identity, fixed at build time.
namespace tovik::identity {

inline constexpr const char* kProductName = "TOVIK pro";
inline constexpr const char* kAppId = "com.quillarex.offline";
inline constexpr const char* kVersion = "1.43.0";
inline constexpr const char* kMainWindowLabel = "main";
inline constexpr const char* kEntryPage = "index.html";
inline constexpr int kWindowWidth = 1200;
inline constexpr int kWindowHeight = 800;
inline constexpr int kWindowMinWidth = 900;
inline constexpr int kWindowMinHeight = 600;
inline constexpr const char* kRunFailure = "error while running TOVIK pro";

}  // namespace tovik::identity
