#pragma once
// The downloads window without its widgets: the history as the window lists
// it (filters, rows, the actions on one entry) and the meter of the engine's
// running work. Texts are Shift_JIS; host paths are UTF-8.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/transfer_meter.h"
#include "history/history_store.h"
#include "platform/text_helpers.h"

namespace mireva {

// The date filter of the window.
enum class SincePeriod { All, Today, Week, Month };

// The first moment the period takes: local midnight of today, or of the day
// 6 or 29 days before (so "7 days" is today and the six before); 0 for All.
long long SinceTime(SincePeriod period, long long now);

// "2024-05-01 13:45:02" in local time.
std::string LocalTimeText(long long unixTime);

// The history as the window shows it: the newest entries that pass the
// filters, at most kMaxRows of them.
class DownloadsModel {
 public:
  static constexpr size_t kMaxRows = 2000;

  // `workingFolder`: UTF-8 host path.
  explicit DownloadsModel(std::string workingFolder);

  HistoryFilter& Filter() { return filter_; }
  void SetPeriod(SincePeriod period, long long now) { filter_.since = SinceTime(period, now); }

  // Reads the entries again. A folder without a history database has none and
  // is no error: the database is not created here, the engine makes it with
  // its first entry. False when the store had something to say, in Message():
  // the history could not be read, or was damaged and set aside for a new one.
  bool Reload();
  const std::vector<HistoryEntry>& Rows() const { return rows_; }
  // Whether more entries passed the filters than the rows hold.
  bool Truncated() const { return truncated_; }
  const std::string& Message() const { return message_; }
  // The sites of the whole history, by name.
  const std::vector<std::string>& Sites() const { return sites_; }

  // The file of a row and its folder as host paths.
  std::string FilePath(const HistoryEntry& entry) const;
  std::string FolderPath(const HistoryEntry& entry) const;

  // Removes exactly this address from the history (entries whose address,
  // redirect or file merely contain it stay), so the engine fetches it again.
  // False with Message() on failure.
  bool Forget(const std::string& address);
  // Deletes the entry's file from disk (the history is left to Forget). A
  // file already gone is no error. Only a file below the working folder is
  // deleted: a name that is absolute or climbs out with ".." is refused.
  // False with Message() on failure.
  bool DeleteFile(const HistoryEntry& entry);

  // How the engine fetches an entry again: the file's extension from the page
  // it was linked from (ALoad). Nothing when the entry names no page or its
  // address no extension.
  struct Refetch {
    std::string page;
    std::string extension;
  };
  static std::optional<Refetch> RefetchOf(const HistoryEntry& entry);

 private:
  bool EnsureOpen();

  std::string folder_;
  HistoryStore store_;
  HistoryFilter filter_;
  std::vector<HistoryEntry> rows_;
  std::vector<std::string> sites_;
  std::string message_;
  bool truncated_ = false;
};

}  // namespace mireva
