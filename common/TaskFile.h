// Task files: the hand-over of an Explorer selection from the extension to the client.
// Format: one record per path, the path's UTF-16LE code units (no terminator) followed by
// the bytes 0x0D 0x0A; no header, no byte-order mark. A record is at most 1,000 bytes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lumexia {

// Ordered source paths exactly as received: no normalisation, duplicates and empty
// strings kept.
using JobList = std::vector<std::wstring>;

constexpr size_t kTaskRecordMaxBytes = 1000;
// The longest path one record holds: 499 code units and the two end bytes.
constexpr size_t kTaskPathMaxChars = (kTaskRecordMaxBytes - 2) / 2;

// The code unit whose little-endian bytes are the record end, 0x0D 0x0A.
constexpr wchar_t kRecordEndUnit = 0x0A0D;

// Whether the `length` code units at `path` can be written as one record and read back
// as the same path: at most kTaskPathMaxChars of them, none of them kRecordEndUnit.
// Names that fail are left out of a selection, never cut.
bool FitsTaskRecord(const wchar_t* path, size_t length);

// Writes the records of `paths` to `path` (created or truncated). False when the file
// cannot be created or written whole.
bool WriteTaskFile(const std::wstring& path, const JobList& paths);

// Writes a new task file "task" + NewHexId() in the data folder; returns its path, or
// an empty string when it could not be written.
std::wstring WriteNewTaskFile(const JobList& paths);

// Appends the file's records to `jobs`. True when the end of the file was reached;
// false when the file cannot be opened or a record is too long, in which case callers
// must treat the whole file as unusable (records already appended are not removed).
// Bytes after the last complete record are ignored. The end bytes count only at an
// even offset within a record, so a code unit pair such as U+0D00 U+040A never splits
// a path.
bool ReadTaskFile(const std::wstring& path, JobList& jobs);

// Reads every task file waiting in the data folder, in directory order, and appends
// the records of the usable ones to `jobs`. Does not delete them.
void CollectTaskFiles(JobList& jobs);

} // namespace lumexia
