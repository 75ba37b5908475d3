#pragma once
// Atomic replacement of a result folder.
//
// A case is written into a sibling staging folder "<target>.saving" that
// holds the marker file ".incomplete" while it is being written. When every
// file is written, the staging folder is flushed to disk (syncfs), the
// marker is removed and the staging folder is swapped with the target in
// one rename (renameat2 with RENAME_EXCHANGE; two renames where the file
// system lacks it). Until that rename the target is untouched, so a failure
// at any file leaves the previous case complete; a folder that still holds
// the marker is refused by the reader.
//
// Entries of an existing target that the new case does not write (a
// seventh volume of an earlier case, files the user put there) are carried
// over by hard links, so swapping never deletes them.

#include <string>

namespace brelvik::io_detail {

// Name of the marker file of a folder that is still being written.
inline constexpr const char* kIncompleteMarker = ".incomplete";

struct StagedFolder {
  std::string target;   // the folder the user named, without trailing '/'
  std::string staging;  // "<target>.saving"
  bool committed = false;
};

// Checks the target name, removes a staging folder left by an interrupted
// save and creates a fresh one holding the marker.
bool beginStagedFolder(const std::string& folder, StagedFolder& out, std::string* error);

// The staging names of a save into `folder` (nothing is checked or
// created): for the later phases of a save begun elsewhere.
StagedFolder stagedFolderOf(const std::string& folder);

// Flushes what this process wrote below `dir` to disk (the commit flushes
// only the committing process's writes when several processes write one
// staging folder).
bool flushWrites(const std::string& dir, std::string* error);

// Flushes the staging folder, carries over the target's other entries,
// removes the marker and swaps the staging folder in. On failure the target
// is as it was.
bool commitStagedFolder(StagedFolder& staged, std::string* error);

// Removes the staging folder unless it was committed (called on failure).
void abandonStagedFolder(StagedFolder& staged);

// True when `folder` holds the marker of an unfinished save.
bool isIncompleteFolder(const std::string& folder);

// ---- Fault injection for tests --------------------------------------------
// With n >= 0, the n-th write point after this call (every file the writer
// creates and the final swap each count as one, from 0) fails as if the disk
// refused it; -1 switches this off. Not for production use.
void setWriteFaultForTesting(int n);
// Tests that save hundreds of times switch the flush to disk off (it
// protects against power loss, which no test simulates); on by default.
void setFlushToDiskForTesting(bool on);
// Called by the writer before each file and before the swap: false (with a
// message naming `path`) when the injected fault is due.
bool writePointAllowed(const std::string& path, std::string* error);

}  // namespace brelvik::io_detail
