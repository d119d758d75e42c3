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

DownloadTypeFlags ReadDownloadTypes(const std::string& iniPath) {
  DownloadTypeFlags flags{};
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    flags[i] = GetProfileString(iniPath, kTypeSettingsSection, table[i].key, "off", 8) == "on";
  return flags;
}

bool WriteDownloadTypes(const std::string& iniPath, const DownloadTypeFlags& flags) {
  const auto& table = DownloadTypeTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (!WriteProfileString(iniPath, kTypeSettingsSection, table[i].key, flags[i] ? "on" : "off"))
      return false;
  return true;
}

bool AnyEnabled(const DownloadTypeFlags& flags) {
  for (bool f : flags)
    if (f) return true;
  return false;
}

}  // namespace mireva
