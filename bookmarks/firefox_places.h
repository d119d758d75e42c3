#pragma once
// Reader of the bookmarks in a Firefox profile's "places.sqlite". The database
// (with its "-wal" file, which holds the latest changes while Firefox runs) is
// copied to a private temporary folder and the copy opened read-only, so the
// profile is never touched and Firefox's lock does not stand in the way.
// The bookmarks menu, toolbar, other and mobile roots become folders; tags,
// separators and "place:" queries are left out. Nothing when the file cannot
// be read as a places database.
#include <optional>
#include <string>
#include <vector>

#include "bookmarks/bookmark_tree.h"

struct sqlite3;

namespace mireva {

std::optional<std::vector<BookmarkNode>> ReadFirefoxPlaces(const std::string& hostPath);

// The same reading from a places database that is already open (read-only
// suffices); the caller keeps the handle and closes it.
std::optional<std::vector<BookmarkNode>> ReadFirefoxPlacesDatabase(sqlite3* db);

}  // namespace mireva
