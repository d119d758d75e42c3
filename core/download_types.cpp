#include "core/download_types.h"

#include "platform/ini_file.h"

namespace mireva {

const std::array<DownloadType, kDownloadTypeCount>& DownloadTypeTable() {
  static const std::array<DownloadType, kDownloadTypeCount> kTable = {{
      {"JPEG", "jpg"}, {"GIF", "gif"}, {"PNG", "png"}, {"TIF", "tif"}, {"MIDI", "mid"},
      {"MP3", "mp3"},  {"AVI", "avi"}, {"WAV", "wav"}, {"PDF", "pdf"}, {"LZH", "lzh"},
      {"EXE", "exe"},  {"ZIP", "zip"}, {"RAM", "ram"}, {"RM", "rm"},   {"SWF", "swf"},
      {"WMV", "wmv"},  {"MOV", "mov"}, {"ASF", "asf"}, {"ASP", "asp"}, {"ASX", "asx"},
      {"QT", "qt"},
  }};
  return kTable;
}

// One read and one write of the file for all types: the watcher, reading
// while the dialog writes, sees either the old or the new choice, never a mix.
DownloadTypeFlags ReadDownloadTypes(const std::string& iniPath) {
  DownloadTypeFlags flags{};
  ProfileFile profile;
  if (!profile.Load(iniPath)) return flags;
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    flags[i] = profile.Get(kTypeSettingsSection, table[i].key, "off", 8) == "on";
  return flags;
}

bool WriteDownloadTypes(const std::string& iniPath, const DownloadTypeFlags& flags) {
  ProfileFile profile;
  if (!profile.Load(iniPath)) return false;
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    profile.Set(kTypeSettingsSection, table[i].key, flags[i] ? "on" : "off");
  return profile.Save(iniPath);
}

bool AnyEnabled(const DownloadTypeFlags& flags) {
  for (bool f : flags)
    if (f) return true;
  return false;
}

}  // namespace mireva
