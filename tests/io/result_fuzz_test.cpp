// Mutation fuzzing of the result-folder reader: a real saved case is damaged
// in many deterministic ways (fixed seed) and opened each time. Every copy
// must either be refused with a message that names a file or folder of the
// case, leaving the current case untouched, or load into a case that the
// invariants accept and that the solver can step (under AddressSanitizer in
// CI, so an out-of-bounds read is a failure). A watchdog alarm turns a hang
// into a failure.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core_error_print.h"
#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "io/case_checks.h"
#include "io/result_folder.h"
#include "io_test_util.h"
#include "solver/solver.h"

using namespace brelvik;
using namespace brelvik::testing_io;
namespace fs = std::filesystem;

namespace {

constexpr int kMutations = 600;
constexpr uint64_t kSeed = 20261207;

// Tokens that have broken readers: overflowing, negative and huge counts,
// non-finite values, cut exponents, hexadecimal, embedded NUL, junk.
const std::vector<std::string> kHostileTokens = {
    "0", "-1", "1", "2", "3", "4", "6", "2147483647", "-2147483648", "2147483648", "3000",
    "99999999999", "nan", "-nan", "inf", "-inf", "1e", "1.5e-", "0x10", "1e999", "-1e999",
    "abc", std::string("6720\0zz", 7), "+", ".", "-0", "1e-320", "", "(0,0,0)", "(-1,2,3)"};

struct Tree {
  std::string root;
  std::map<std::string, std::string> files;  // relative path -> content
};

Tree readTree(const std::string& root) {
  Tree t{root, {}};
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) t.files[fs::relative(e.path(), root).string()] = readAll(e.path().string());
  return t;
}

// Puts back every original file at or below `rel` (a file or a folder).
void restore(const Tree& t, const std::string& rel) {
  const fs::path at = fs::path(t.root) / rel;
  std::error_code ec;
  fs::remove_all(at, ec);
  for (const auto& [path, content] : t.files) {
    if (path != rel && path.rfind(rel + "/", 0) != 0) continue;
    const fs::path p = fs::path(t.root) / path;
    fs::create_directories(p.parent_path());
    writeAll(p.string(), content);
  }
}

// Replaces the n-th whitespace-separated token of `text`.
std::string replaceToken(const std::string& text, size_t n, const std::string& with) {
  size_t pos = 0, index = 0;
  while (pos < text.size()) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos >= text.size()) break;
    size_t end = pos;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    if (index++ == n) return text.substr(0, pos) + with + text.substr(end);
    pos = end;
  }
  return text + with;
}

size_t tokenCount(const std::string& text) {
  size_t n = 0;
  bool in = false;
  for (char c : text) {
    const bool space = std::isspace(static_cast<unsigned char>(c));
    if (!space && !in) ++n;
    in = !space;
  }
  return n;
}

// A real case: a small grid, its interpolation, New and two solver steps.
std::string savedRealCase() {
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  in.nx = 3;
  in.ny = 3;
  in.nz = 3;
  CoreError error;
  EXPECT_TRUE(createDomain(s, in, &error)) << error;
  EXPECT_TRUE(runInterpolation(s, {}, &error)) << error;
  newCase(s);
  s.historyInterval = 1;
  solverPass(s);
  solverPass(s);
  const std::string dir = freshDir("fuzz_case");
  EXPECT_TRUE(saveCase(s, dir, &error)) << error;
  return dir;
}

}  // namespace

TEST(ResultFuzz, EveryDamagedCopyIsRefusedNamingAFileOrLoadsAValidCase) {
  const std::string dir = savedRealCase();
  const Tree tree = readTree(dir);
  std::vector<std::string> all, stateFiles, folders;
  for (const auto& [path, content] : tree.files) {
    all.push_back(path);
    const std::string name = fs::path(path).filename().string();
    if (name == "all.txt" || name == "interpol_data.txt" || name.rfind("m_", 0) == 0)
      stateFiles.push_back(path);
  }
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_directory()) folders.push_back(fs::relative(e.path(), dir).string());
  ASSERT_GT(all.size(), 500u);

  std::mt19937_64 rng(kSeed);
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
  };
  auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n ? n - 1 : 0)(rng); };

  int refused = 0, accepted = 0;
  std::map<int, int> perKind;
  for (int m = 0; m < kMutations; ++m) {
    // Half the damage goes to the small state files, where every value matters.
    const std::string file = (rng() % 2) ? pick(stateFiles) : pick(all);
    const std::string path = dir + "/" + file;
    const std::string& original = tree.files.at(file);
    std::vector<std::string> touched = {file};
    const int kind = static_cast<int>(rng() % 10);
    ++perKind[kind];
    switch (kind) {
      case 0:  // truncation
        writeAll(path, original.substr(0, below(original.size())));
        break;
      case 1:  // deletion
        fs::remove(path);
        break;
      case 2:  // a token replaced by a hostile one
      case 3: {
        const size_t tokens = tokenCount(original);
        std::string text = original;
        const int edits = kind == 2 ? 1 : 1 + static_cast<int>(rng() % 3);
        for (int e = 0; e < edits; ++e) text = replaceToken(text, below(tokens), pick(kHostileTokens));
        writeAll(path, text);
        break;
      }
      case 4: {  // binary bytes
        std::string text = original;
        const int bytes = 1 + static_cast<int>(rng() % 8);
        for (int b = 0; b < bytes && !text.empty(); ++b) text[below(text.size())] = static_cast<char>(rng() & 0xff);
        writeAll(path, text);
        break;
      }
      case 5: {  // two files swapped
        const std::string other = (rng() % 2) ? pick(stateFiles) : pick(all);
        writeAll(path, tree.files.at(other));
        writeAll(dir + "/" + other, original);
        touched.push_back(other);
        break;
      }
      case 6:  // empty file
        writeAll(path, "");
        break;
      case 7: {  // special files: FIFO, endless device, folder
        fs::remove(path);
        const int special = static_cast<int>(rng() % 3);
        if (special == 0) {
          ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        }
        if (special == 1) fs::create_symlink("/dev/zero", path);
        if (special == 2) fs::create_directory(path);
        break;
      }
      case 8: {  // a line doubled
        const size_t at = original.find('\n', below(original.size()));
        const size_t start = original.rfind('\n', at == std::string::npos ? original.size() : at);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        const size_t to = at == std::string::npos ? original.size() : at + 1;
        writeAll(path, original.substr(0, to) + original.substr(from, to - from) + original.substr(to));
        break;
      }
      case 9: {  // a whole folder removed
        const std::string folder = pick(folders);
        fs::remove_all(dir + "/" + folder);
        touched = {folder};
        break;
      }
    }

    SimulationState t;
    t.stepCount = 4242;
    t.Re = 7;
    const int generation = t.volumesGeneration.load();
    CoreError error;
    alarm(60);  // a hang ends the test with SIGALRM
    const bool loaded = loadCase(t, dir, &error);
    alarm(0);
    SCOPED_TRACE("mutation " + std::to_string(m) + " kind " + std::to_string(kind) + " of " + file);
    if (!loaded) {
      ++refused;
      EXPECT_NE(error.detail.find(dir + "/"), std::string::npos) << error;
      EXPECT_EQ(t.stepCount, 4242);
      EXPECT_EQ(t.Re, 7);
      EXPECT_EQ(t.volumeCount, 0);
      EXPECT_EQ(t.volumesGeneration.load(), generation);
    } else {
      ++accepted;
      std::string why;
      EXPECT_TRUE(checkCase(caseHeaderOf(t), t.volumes, dir, &why)) << why;
      // The kernels, the exchange and the coefficients index with what was
      // loaded: a step must stay inside the arrays.
      if (t.readinessProduct() == 1) solverPass(t);
    }
    for (const std::string& rel : touched) restore(tree, rel);
  }
  std::cout << "[ fuzz ] seed " << kSeed << ": " << kMutations << " damaged copies, " << refused
            << " refused naming a file, " << accepted << " loaded a valid case\n";
  EXPECT_EQ(refused + accepted, kMutations);
  EXPECT_GT(refused, kMutations / 2);
  EXPECT_GT(accepted, 10);
}
