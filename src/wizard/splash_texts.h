#pragma once
// What the splash shows: the program's name, version and notice from its
// version information, or the template's texts when it has none. Shared by
// the splash windows of every front end.

#include <optional>
#include <string>

namespace rv4410 {

inline constexpr const char* kDoSplashLogLine = "... DoSplash()";
// The template's texts, which stay when the program has no version information.
inline constexpr const char* kSplashTemplateCaption = "RV4410 Loader";
inline constexpr const char* kSplashTemplateLine1 = "RV4410 Program and Map Loader";
inline constexpr const char* kSplashTemplateLine2 = "Copyright (C) RV4410 Loader developers";
inline constexpr const char* kSplashVersionWord = " Version ";
inline constexpr int kSplashMs = 2000;
// The window's size in dialog units.
inline constexpr int kSplashWidth = 205;
inline constexpr int kSplashHeight = 212;

// The values of the program's version information that the splash shows.
struct VersionInfo {
  std::string productName;
  std::string productVersion;
  std::string fileDescription;
  std::string legalCopyright;
};

// The program's own version information: as the build recorded it (Qt), or
// read from the program file's version resource (Win32); none without one.
std::optional<VersionInfo> ProgramVersionInfo();

// The splash's caption and its two lines.
struct SplashTexts {
  std::string caption;
  std::string line1;
  std::string line2;
};
SplashTexts SplashTextsFor(const std::optional<VersionInfo>& version);

}  // namespace rv4410
