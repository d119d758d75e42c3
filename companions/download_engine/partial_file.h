#pragma once
// Partial files kept for resuming. A file transfer cut short keeps the bytes
// it got under a hidden name in its folder, ".mireva-resume-<key>", with a
// side record ".mireva-resume-<key>.rec" that says what they are:
//
//   mireva-resume 1
//   <address>
//   <validator header>: <value>      "ETag" (strong only) or "Last-Modified"
//   <bytes in the partial file>
//
// <key> is a hash of the address (16 hex digits). The next transfer of the
// same address into the same folder asks for the rest with Range and
// If-Range: <value>; a record whose address, size or partial file does not
// match is dropped with its file. Partial files are swept by RemoveStaleParts
// once they are a week old.
#include <optional>
#include <string>

namespace mireva::dl {

struct PartialRecord {
  std::string address;
  std::string validatorHeader;  // "ETag" or "Last-Modified"
  std::string validator;
  long long size = 0;
};

// The hidden names of the partial file of `address` and of its record.
std::string PartialName(const std::string& address);
std::string PartialRecordName(const std::string& address);

// The record of `address` in the folder when it and its partial file agree
// (same address, the file holds exactly `size` bytes, size > 0); otherwise
// nothing, and a record or partial file of that name that does not agree is
// removed.
std::optional<PartialRecord> FindPartial(int folderFd, const std::string& address);

// Writes the record (through a temporary name); false when it cannot.
bool WritePartialRecord(int folderFd, const PartialRecord& record);

// Removes the partial file and the record of `address`.
void DropPartial(int folderFd, const std::string& address);

// The validator of an answer to resume it by, from its ETag and Last-Modified
// headers (as received, possibly empty): a strong ETag, else Last-Modified,
// else nothing (a weak ETag cannot be used with If-Range).
std::optional<std::pair<std::string, std::string>> ResumeValidator(const std::string& etag,
                                                                    const std::string& lastModified);

// True for the names of partial files and their records.
bool IsPartialName(const std::string& name);

}  // namespace mireva::dl
