#include "platform/ini_file.h"

#include <cerrno>
#include <vector>

#include "platform/file_util.h"
#include "platform/text_helpers.h"

namespace mireva {
namespace {

// The blanks around sections, keys and values; the CR of a CR LF file too.
constexpr std::string_view kBlanks = " \t\r";

// "[name]" -> name; anything else -> no section line.
bool SectionName(const std::string& line, std::string* name) {
  std::string_view t = Trim(line, kBlanks);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1), kBlanks);
  return true;
}

bool KeyValue(const std::string& line, std::string* key, std::string* value) {
  std::string_view t = Trim(line, kBlanks);
  if (t.empty() || t[0] == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq), kBlanks);
  *value = Trim(t.substr(eq + 1), kBlanks);
  return true;
}

}  // namespace

bool ProfileFile::Load(const std::string& sjisPath) {
  lines_.clear();
  int error = 0;
  if (auto text = ReadWholeFile(sjisPath, &error)) {
    Parse(*text);
    return true;
  }
  return error == ENOENT || error == ENOTDIR;
}

void ProfileFile::Parse(const std::string& text) { lines_ = SplitLines(text); }

std::string ProfileFile::Get(const std::string& section, const std::string& key,
                             const std::string& defaultValue, size_t capacity) const {
  if (capacity == 0) return std::string();
  std::string result = defaultValue;
  bool inSection = false;
  for (const std::string& line : lines_) {
    std::string name, k, v;
    if (SectionName(line, &name)) {
      inSection = EqualsNoCase(name, section);
      continue;
    }
    if (inSection && KeyValue(line, &k, &v) && EqualsNoCase(k, key)) {
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      result = v;
      break;
    }
  }
  return CutSjis(result, capacity - 1);
}

bool ProfileFile::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
  auto oneLine = [](const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
  };
  if (section.empty() || key.empty() || !oneLine(section) || !oneLine(key) || !oneLine(value) ||
      key.find('=') != std::string::npos || section.find(']') != std::string::npos)
    return false;
  std::vector<std::string>& lines = lines_;
  bool inSection = false, written = false;
  size_t sectionEnd = std::string::npos;  // index after the last line of our section
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    std::string name, k, v;
    if (SectionName(lines[i], &name)) {
      if (inSection) break;
      inSection = EqualsNoCase(name, section);
      if (inSection) sectionEnd = i + 1;
      continue;
    }
    if (inSection) {
      if (KeyValue(lines[i], &k, &v) && EqualsNoCase(k, key)) {
        lines[i] = k + "=" + value;
        written = true;
      } else if (!Trim(lines[i], kBlanks).empty()) {
        sectionEnd = i + 1;
      }
    }
  }
  if (!written) {
    if (sectionEnd == std::string::npos) {
      if (!lines.empty() && !Trim(lines.back(), kBlanks).empty()) lines.push_back("");
      lines.push_back("[" + section + "]");
      lines.push_back(key + "=" + value);
    } else {
      lines.insert(lines.begin() + static_cast<long>(sectionEnd), key + "=" + value);
    }
  }
  return true;
}

std::string ProfileFile::Text() const {
  std::string out;
  for (const std::string& l : lines_) out.append(l).append("\r\n");
  return out;
}

bool ProfileFile::Save(const std::string& sjisPath) const {
  return WriteFileAtomically(sjisPath, Text());
}

std::string GetProfileString(const std::string& sjisPath, const std::string& section,
                             const std::string& key, const std::string& defaultValue,
                             size_t capacity) {
  ProfileFile profile;
  if (!profile.Load(sjisPath)) return CutSjis(defaultValue, capacity ? capacity - 1 : 0);
  return profile.Get(section, key, defaultValue, capacity);
}

bool WriteProfileString(const std::string& sjisPath, const std::string& section,
                        const std::string& key, const std::string& value) {
  ProfileFile profile;
  return profile.Load(sjisPath) && profile.Set(section, key, value) && profile.Save(sjisPath);
}

}  // namespace mireva
