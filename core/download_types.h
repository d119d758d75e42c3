#pragma once
// The 21 download file types, their keys in the watcher's settings file
// "TollickApp.ini" (section "TollickApp", values "on"/"off") and the extension
// handed to the engine's "ALoad". Shared by the patrol, the type dialog
// library and the watcher.
#include <array>
#include <string>

namespace mireva {

inline constexpr int kDownloadTypeCount = 21;
inline constexpr const char kTypeSettingsFile[] = "TollickApp.ini";
inline constexpr const char kTypeSettingsSection[] = "TollickApp";

struct DownloadType {
  const char* key;        // settings key, e.g. "JPEG"
  const char* extension;  // e.g. "jpg"
};

// In table order; the order in which "ALoad" is called per page.
const std::array<DownloadType, kDownloadTypeCount>& DownloadTypeTable();

using DownloadTypeFlags = std::array<bool, kDownloadTypeCount>;

// Reads every type from the settings file: enabled exactly when its value (at
// most 7 characters, default "off") equals "on"; "On" or a missing key is off.
// A file that cannot be read gives every type off.
DownloadTypeFlags ReadDownloadTypes(const std::string& iniPath);

// Writes every type as "on" or "off" in one replacement of the file, keeping
// its other lines. False when the file could not be read or written.
bool WriteDownloadTypes(const std::string& iniPath, const DownloadTypeFlags& flags);

bool AnyEnabled(const DownloadTypeFlags& flags);

}  // namespace mireva
