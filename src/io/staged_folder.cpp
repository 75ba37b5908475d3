#include "io/staged_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/text_file.h"

namespace brelvik::io_detail {

namespace fs = std::filesystem;

namespace {

std::atomic<int> g_faultCountdown{-1};
std::atomic<bool> g_flushToDisk{true};

std::string systemMessage(int err) { return std::strerror(err); }

// Flushes everything written below `dir` (one syncfs instead of an fsync
// per file: a case has a thousand files or more).
bool flushFolder(const std::string& dir, std::string* error) {
  if (!g_flushToDisk.load()) return true;
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fail(error, "cannot flush folder " + dir + ": " + systemMessage(errno));
  const bool ok = ::syncfs(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok) return fail(error, "cannot flush folder " + dir + ": " + systemMessage(err));
  return true;
}

// Makes a rename inside `dir` durable.
void flushEntries(const std::string& dir) {
  if (!g_flushToDisk.load()) return;
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Hard-links `from` (a file, or a folder recursively) to `to` where `to`
// does not exist yet.
bool linkTree(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(from, ec);
  if (ec) return fail(error, "cannot keep " + from.string() + ": " + ec.message());
  if (fs::exists(fs::symlink_status(to, ec))) {
    if (!fs::is_directory(st) || !fs::is_directory(to, ec)) return true;  // the new case's own
  } else if (fs::is_directory(st)) {
    fs::create_directory(to, ec);
    if (ec) return fail(error, "cannot keep " + from.string() + ": " + ec.message());
  } else {
    fs::create_hard_link(from, to, ec);
    if (ec && fs::is_symlink(st)) {
      ec.clear();
      fs::copy_symlink(from, to, ec);
    }
    if (ec) return fail(error, "cannot keep " + from.string() + ": " + ec.message());
    return true;
  }
  for (const fs::directory_entry& e : fs::directory_iterator(from, ec)) {
    if (!linkTree(e.path(), to / e.path().filename(), error)) return false;
  }
  if (ec) return fail(error, "cannot keep " + from.string() + ": " + ec.message());
  return true;
}

std::string withoutTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

void setWriteFaultForTesting(int n) { g_faultCountdown.store(n); }
void setFlushToDiskForTesting(bool on) { g_flushToDisk.store(on); }

bool writePointAllowed(const std::string& path, std::string* error) {
  int left = g_faultCountdown.load();
  while (left >= 0) {
    if (g_faultCountdown.compare_exchange_weak(left, left - 1)) {
      if (left == 0) return fail(error, "cannot write file " + path + ": injected fault");
      return true;
    }
  }
  return true;
}

bool isIncompleteFolder(const std::string& folder) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(joinPath(folder, kIncompleteMarker), ec));
}

StagedFolder stagedFolderOf(const std::string& folder) {
  StagedFolder staged;
  staged.target = withoutTrailingSlashes(folder);
  staged.staging = staged.target + ".saving";
  return staged;
}

bool flushWrites(const std::string& dir, std::string* error) { return flushFolder(dir, error); }

bool beginStagedFolder(const std::string& folder, StagedFolder& out, std::string* error) {
  if (folder.empty()) return fail(error, "no folder name given");
  const std::string target = withoutTrailingSlashes(folder);
  const std::string name = fs::path(target).filename().string();
  if (name.empty() || name == "." || name == ".." || target == "/")
    return fail(error, "cannot save into " + folder + ": give the name of a case folder");
  std::error_code ec;
  const fs::file_status st = fs::status(target, ec);
  if (fs::exists(st) && !fs::is_directory(st))
    return fail(error, "cannot save into " + target + ": a file of that name exists");
  const fs::path parent = fs::path(target).parent_path();
  if (!parent.empty()) {
    std::string why;
    if (!makeFolder(parent.string(), &why))
      return fail(error, "cannot save into " + target + ": " + why);
  }

  StagedFolder staged = stagedFolderOf(target);
  // Left over by a save that was interrupted: never the user's case (the
  // target is), so it goes.
  const fs::file_status old = fs::symlink_status(staged.staging, ec);
  if (fs::exists(old)) {
    if (!fs::is_directory(old))
      return fail(error, "cannot save into " + target + ": " + staged.staging +
                             " exists and is not a folder");
    fs::remove_all(staged.staging, ec);
    if (ec) return fail(error, "cannot remove " + staged.staging + ": " + ec.message());
  }
  if (!fs::create_directory(staged.staging, ec) || ec)
    return fail(error, "cannot create folder " + staged.staging + ": " +
                           (ec ? ec.message() : std::string("it exists")));
  const std::string marker = joinPath(staged.staging, kIncompleteMarker);
  File f(std::fopen(marker.c_str(), "w"));
  if (!f || !closeWritten(f, true, marker, error)) {
    fs::remove_all(staged.staging, ec);
    return fail(error, "cannot create file " + marker);
  }
  out = std::move(staged);
  return true;
}

bool commitStagedFolder(StagedFolder& staged, std::string* error) {
  std::error_code ec;
  const bool targetExists = fs::exists(staged.target, ec);
  if (targetExists) {
    for (const fs::directory_entry& e : fs::directory_iterator(staged.target, ec)) {
      if (!linkTree(e.path(), fs::path(staged.staging) / e.path().filename(), error)) return false;
    }
    if (ec) return fail(error, "cannot read folder " + staged.target + ": " + ec.message());
  }
  if (!flushFolder(staged.staging, error)) return false;
  if (!writePointAllowed(staged.target, error)) return false;
  if (!fs::remove(joinPath(staged.staging, kIncompleteMarker), ec) || ec)
    return fail(error, "cannot finish " + staged.staging + ": " + ec.message());
  flushEntries(staged.staging);

  const std::string parent = fs::path(staged.target).parent_path().string();
  auto restoreMarker = [&] {
    File f(std::fopen(joinPath(staged.staging, kIncompleteMarker).c_str(), "w"));
  };
  if (!targetExists) {
    if (::rename(staged.staging.c_str(), staged.target.c_str()) != 0) {
      const int err = errno;
      restoreMarker();
      return fail(error, "cannot rename " + staged.staging + " to " + staged.target + ": " +
                             systemMessage(err));
    }
  } else if (::renameat2(AT_FDCWD, staged.staging.c_str(), AT_FDCWD, staged.target.c_str(),
                         RENAME_EXCHANGE) != 0) {
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) {
      restoreMarker();
      return fail(error, "cannot swap " + staged.staging + " with " + staged.target + ": " +
                             systemMessage(err));
    }
    // No atomic exchange on this file system: two renames. Between them
    // the previous case is complete in "<target>.previous".
    const std::string previous = staged.target + ".previous";
    fs::remove_all(previous, ec);
    if (::rename(staged.target.c_str(), previous.c_str()) != 0) {
      const int err2 = errno;
      restoreMarker();
      return fail(error, "cannot rename " + staged.target + ": " + systemMessage(err2));
    }
    if (::rename(staged.staging.c_str(), staged.target.c_str()) != 0) {
      const int err2 = errno;
      ::rename(previous.c_str(), staged.target.c_str());
      restoreMarker();
      return fail(error, "cannot rename " + staged.staging + " to " + staged.target + ": " +
                             systemMessage(err2));
    }
    staged.committed = true;
    flushEntries(parent);
    fs::remove_all(previous, ec);
    return true;
  }
  staged.committed = true;
  flushEntries(parent);
  // After the exchange the staging name holds the previous case.
  fs::remove_all(staged.staging, ec);
  return true;
}

void abandonStagedFolder(StagedFolder& staged) {
  if (staged.committed || staged.staging.empty()) return;
  std::error_code ec;
  fs::remove_all(staged.staging, ec);
}

}  // namespace brelvik::io_detail
