#pragma once
// The rules that turn a service's page into a patrol list and the patrolled
// pages into a download list, one section per kind in "DownLoadRules.ini":
//
//   [sdss mosaic]
//   Label=sdss mosaic            line 4 of "Download.lst"; the section needs it
//   PatrolLinks=anchor frame     which links of the page become patrol entries
//   PatrolMatch=*/getimg/*       blank-separated patterns on the absolute address
//   PatrolSkip=                  (empty Match: all; Skip wins over Match)
//   PatrolSameHost=yes           only links on the page's own host
//   DownloadLinks=image          which links of the patrolled pages are fetched
//   DownloadMatch=*.jpg *.gif
//   DownloadSkip=*/icons/*
//
// Link kinds: anchor, image, frame, embed, media. Patterns are shell patterns
// (* ? [..]) compared without regard to case with the whole address and with
// the address without its query.
//
// The section [Engine] holds the engine's own settings, each optional (a
// missing, empty, negative or unreadable value keeps the default):
//
//   [Engine]
//   ConnectionsPerHost=6         connections to one host at a time (at least 1)
//   Connections=24               connections at a time in all (at least 1)
//   HostDelayMs=0                pause between the starts of two requests to one host
//   HostJitterMs=0               plus a random part of up to this much
//   MaxRateKBps=0                total download rate in KB/s; 0: no limit
//   MinRateBytes=1024            speed floor: a file averaging less than this many
//   RateWindowSeconds=60         bytes a second over this window is given up (0: never)
//   MaxFileMB=8192               size cap of one file, checked as it arrives
#include <optional>
#include <string>
#include <vector>

#include "companions/download_engine/transfer_batch.h"

namespace mireva {
class ProfileFile;
}

namespace mireva::dl {

inline constexpr char kRulesFileName[] = "DownLoadRules.ini";

struct KindRules {
  std::string label;
  unsigned patrolLinks = 0;
  std::vector<std::string> patrolMatch;
  std::vector<std::string> patrolSkip;
  bool patrolSameHost = true;
  unsigned downloadLinks = 0;
  std::vector<std::string> downloadMatch;
  std::vector<std::string> downloadSkip;
};

// The rules of `kind` from the rules file at `sjisPath`, read once; nothing
// when the file or the kind's section (its Label) is missing or unreadable.
std::optional<KindRules> LoadKindRules(const std::string& sjisPath, const std::string& kind);
// The same from a rules file already read.
std::optional<KindRules> KindRulesFrom(const ProfileFile& rules, const std::string& kind);

// The [Engine] settings of the rules file at `sjisPath` (or of one already
// read) applied to `options`; what is not set keeps its value.
void LoadEngineSettings(const std::string& sjisPath, FetchOptions& options);
void EngineSettingsFrom(const ProfileFile& rules, FetchOptions& options);

// The rules file in the working folder, else the one shipped with the program.
std::string RulesFilePath();

// True when `url` matches one of `match` (or `match` is empty) and none of `skip`.
bool Selected(const std::string& url, const std::vector<std::string>& match,
              const std::vector<std::string>& skip);

}  // namespace mireva::dl
