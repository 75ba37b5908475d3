#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include <sys/stat.h>

#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "core_error_print.h"
#include "io/result_folder.h"
#include "io_test_util.h"

using namespace brelvik;
using namespace brelvik::testing_io;
namespace fs = std::filesystem;

namespace {

template <class T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

// Value of `x` after "%.16f" output and reading back.
double sixteenDecimals(double x) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.16f", x);
  return std::strtod(buf, nullptr);
}

std::string savedCase(const std::string& name, int volumes = 2, int Nx = 4, int Ny = 3,
                      int Nz = 3) {
  SimulationState s;
  fillCase(s, volumes, Nx, Ny, Nz);
  const std::string dir = freshDir(name);
  CoreError error;
  EXPECT_TRUE(saveCase(s, dir, &error)) << error;
  return dir;
}

}  // namespace

TEST(ResultReader, SaveThenOpenRestoresEveryValue) {
  SimulationState s;
  fillCase(s, 3, 4, 3, 5);
  const std::string dir = freshDir("round_trip");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;

  SimulationState t;
  fillCase(t, 1, 2, 2, 2, 555);  // something to replace
  const int generation = t.volumesGeneration.load();
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.volumesGeneration.load(), generation + 1);

  ASSERT_EQ(t.volumeCount, 3);
  ASSERT_EQ(t.volumes.size(), 3u);
  EXPECT_EQ(bits(t.physicalTime), bits(s.physicalTime));
  EXPECT_EQ(t.stepCount, 37);
  EXPECT_EQ(t.dt, s.dt);
  EXPECT_EQ(t.k, 1.5);
  EXPECT_EQ(t.Re, 123.5);
  EXPECT_EQ(t.M, 0.5);
  EXPECT_EQ(t.Pr, 0.75);
  EXPECT_EQ(t.interpolTotal.load(), 21);
  EXPECT_EQ(t.interpolProcessed.load(), 20);
  EXPECT_EQ(t.Cx, 1.25);
  EXPECT_EQ(t.historyCounter, 7);
  EXPECT_EQ(t.historyInterval, 10);
  EXPECT_EQ(t.gridCreated.load(), 1);
  EXPECT_EQ(t.interpolationReady.load(), 0);
  EXPECT_EQ(t.flowInitialised.load(), 1);
  for (auto [a, b] : {std::pair{&s.historyCx, &t.historyCx}, {&s.historyCp, &t.historyCp},
                      {&s.historyCf, &t.historyCf}, {&s.historyTime, &t.historyTime}})
    EXPECT_TRUE(sameBits(a->data, b->data));

  for (int v = 0; v < 3; ++v) {
    const FiniteVolume& a = s.volumes[v];
    const FiniteVolume& b = t.volumes[v];
    SCOPED_TRACE("volume " + std::to_string(v));
    EXPECT_EQ(b.index, v);
    EXPECT_EQ(b.allocated, 1);
    EXPECT_EQ(std::tie(b.Nx, b.Ny, b.Nz, b.stride_i, b.stride_j, b.i_begin, b.i_end, b.k_end),
              std::tie(a.Nx, a.Ny, a.Nz, a.stride_i, a.stride_j, a.i_begin, a.i_end, a.k_end));
    EXPECT_EQ(b.kind, 2);
    EXPECT_EQ(b.stencil_size, 10);
    EXPECT_EQ(b.face_offset, a.face_offset);
    EXPECT_EQ(b.color, a.color);
    EXPECT_EQ(b.axis_x, a.axis_x);
    EXPECT_EQ(b.axis_z, a.axis_z);
    EXPECT_EQ(b.origin, a.origin);
    ASSERT_EQ(b.plane_count, 4);
    ASSERT_EQ(b.planes.size(), 4u);
    EXPECT_EQ(b.planes[3].normal, a.planes[3].normal);
    for (int q = 0; q < 12; ++q) EXPECT_EQ(b.steps_eta[q], sixteenDecimals(a.steps_eta[q]));
    EXPECT_EQ(b.r_offset, sixteenDecimals(a.r_offset));
    EXPECT_EQ(b.first_step, sixteenDecimals(a.first_step));

    EXPECT_TRUE(sameBits(a.u, b.u));
    EXPECT_TRUE(sameBits(a.v, b.v));
    EXPECT_TRUE(sameBits(a.w, b.w));
    EXPECT_TRUE(sameBits(a.P, b.P));
    EXPECT_TRUE(sameBits(a.ro, b.ro));
    EXPECT_TRUE(sameBits(a.T, b.T));
    EXPECT_TRUE(sameBits(a.div, b.div));
    EXPECT_TRUE(sameBits(a.vixr, b.vixr));
    EXPECT_TRUE(sameBits(a.u_glob, b.u_glob));
    EXPECT_TRUE(sameBits(a.v_glob, b.v_glob));
    EXPECT_TRUE(sameBits(a.w_glob, b.w_glob));
    EXPECT_TRUE(sameBits(a.point_loc, b.point_loc));
    EXPECT_TRUE(sameBits(a.point_glob, b.point_glob));
    EXPECT_EQ(a.type_point, b.type_point);
    // Arrays that are not saved come back as zero.
    EXPECT_TRUE(std::all_of(b.rhs_u_c.begin(), b.rhs_u_c.end(), [](double x) { return x == 0; }));
    // The metrics were recomputed from the coordinates.
    EXPECT_TRUE(std::any_of(b.g_xixi.begin(), b.g_xixi.end(), [](float x) { return x != 0; }));

    int ready = 0, notReady = 0;
    for (size_t n = 0; n < a.interpol_data.size(); ++n) {
      const InterpolEntry& x = a.interpol_data[n];
      const InterpolEntry& y = b.interpol_data[n];
      if (a.type_point[n] <= 3) {
        EXPECT_EQ(y.ready, 0);
        continue;
      }
      EXPECT_EQ(std::tie(x.ready, x.donor, x.cell_i, x.cell_j, x.cell_k),
                std::tie(y.ready, y.donor, y.cell_i, y.cell_j, y.cell_k));
      if (x.ready) {
        ++ready;
        ASSERT_TRUE(y.donor_points && y.weights);
        for (int m = 0; m < 10; ++m) {
          EXPECT_EQ(y.donor_points[m], x.donor_points[m]);
          EXPECT_EQ(y.weights[m], sixteenDecimals(x.weights[m]));
          EXPECT_NEAR(y.weights[m], x.weights[m], 1e-16);
        }
      } else {
        ++notReady;
        EXPECT_FALSE(y.donor_points);
      }
    }
    EXPECT_GT(ready, 0);
    EXPECT_GT(notReady, 0);
  }
}

TEST(ResultReader, KComesBackWithOneDecimal) {
  for (auto [saved, loaded] : {std::pair{1.667, 1.7}, {1.4, 1.4}, {1.399999976158142, 1.4}}) {
    SimulationState s;
    s.k = saved;
    const std::string dir = freshDir("k_value");
    CoreError error;
    ASSERT_TRUE(saveCase(s, dir, &error)) << error;
    SimulationState t;
    t.k = 9;
    ASSERT_TRUE(loadCase(t, dir, &error)) << error;
    EXPECT_EQ(t.k, loaded) << saved;
  }
}

TEST(ResultReader, FolderSavedBeforeCreateReplacesACaseWithAnEmptyOne) {
  SimulationState s;
  s.gridCreated = 0;
  s.stepCount = 3;
  const std::string dir = freshDir("empty_case");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;

  SimulationState t;
  fillCase(t, 2, 2, 2, 2);
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.volumeCount, 0);
  EXPECT_TRUE(t.volumes.empty());
  EXPECT_EQ(t.historyCx.size(), 0);
  EXPECT_EQ(t.historyTime.size(), 0);
  EXPECT_EQ(t.stepCount, 3);
  EXPECT_EQ(t.gridCreated.load(), 0);
  EXPECT_EQ(t.interpolationReady.load(), 0);
  EXPECT_EQ(t.domainReady.load(), 1);
}

TEST(ResultReader, UnallocatedVolumeLoadsItsStateOnly) {
  SimulationState s;
  fillCase(s, 2, 3, 3, 3);
  releaseArrays(s.volumes[0]);
  s.volumes[0].allocated = 0;
  s.volumes[0].first_step = 0.25;
  // No point may take volume 0 as donor now.
  for (auto& e : s.volumes[1].interpol_data) e.donor = 1;
  const std::string dir = freshDir("unallocated_load");
  CoreError error;
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  SimulationState t;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.volumes[0].allocated, 0);
  EXPECT_TRUE(t.volumes[0].u.empty());
  EXPECT_TRUE(t.volumes[0].interpol_data.empty());
  EXPECT_EQ(t.volumes[0].first_step, 0.25);
  EXPECT_EQ(t.volumes[1].allocated, 1);
}

TEST(ResultReader, InterpolationRecordsInAnyOrderAndMissingOnesStayNotReady) {
  const std::string dir = savedCase("records_order");
  const std::string path = dir + "/volume_1/interpol_data/interpol_data.txt";
  // Split into records at the headers, reverse their order, drop the first.
  const std::string text = readAll(path);
  std::vector<std::string> records;
  for (size_t pos = 0; pos < text.size();) {
    size_t next = text.find('(', pos + 1);
    if (next == std::string::npos) next = text.size();
    records.push_back(text.substr(pos, next - pos));
    pos = next;
  }
  ASSERT_GT(records.size(), 3u);
  std::string reordered;
  for (size_t r = records.size(); r-- > 1;) reordered += records[r];
  writeAll(path, reordered);

  SimulationState s;
  fillCase(s, 2, 4, 3, 3);  // the same case as saved
  SimulationState t;
  CoreError error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  const FiniteVolume& a = s.volumes[0];
  const FiniteVolume& b = t.volumes[0];
  const int first = pointIndex(a, 0, 0, 0);  // the dropped record
  ASSERT_EQ(a.interpol_data[first].ready, 1);
  EXPECT_EQ(b.interpol_data[first].ready, 0);
  EXPECT_EQ(b.interpol_data[first].donor, 0);
  for (size_t n = 0; n < a.interpol_data.size(); ++n) {
    if (static_cast<int>(n) == first || a.type_point[n] <= 3) continue;
    EXPECT_EQ(b.interpol_data[n].ready, a.interpol_data[n].ready) << n;
    if (a.interpol_data[n].ready) {
      EXPECT_EQ(b.interpol_data[n].donor_points[9], a.interpol_data[n].donor_points[9]);
    }
  }
}

// Files written on a platform with three-digit exponents and CR LF line ends
// read the same.
TEST(ResultReader, ThreeDigitExponentsAndCrLfLineEndsAreAccepted) {
  const std::string dir = savedCase("exponents");
  const std::string slicePath = dir + "/volume_2/u/1.txt";
  const std::string text = readAll(slicePath);
  std::string wide;
  for (char c : text) {
    wide += c;
    if ((c == '+' || c == '-') && wide.size() > 1 && wide[wide.size() - 2] == 'e') wide += '0';
  }
  ASSERT_NE(wide, text);
  writeAll(slicePath, wide);
  for (const std::string name : {"/all.txt", "/m_Cx.txt", "/volume_1/all.txt", "/volume_1/P/0.txt",
                                 "/volume_1/interpol_data/interpol_data.txt"}) {
    std::string crlf;
    for (char c : readAll(dir + name)) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    writeAll(dir + name, crlf);
  }
  SimulationState s;
  fillCase(s, 2, 4, 3, 3);
  SimulationState t;
  CoreError error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_TRUE(sameBits(s.volumes[1].u, t.volumes[1].u));
  EXPECT_TRUE(sameBits(s.volumes[0].P, t.volumes[0].P));
  EXPECT_TRUE(sameBits(s.historyCx.data, t.historyCx.data));
  EXPECT_EQ(t.stepCount, s.stepCount);
  EXPECT_EQ(t.volumes[0].plane_count, 4);
  const int n = pointIndex(s.volumes[0], 0, 0, 0);
  ASSERT_EQ(t.volumes[0].interpol_data[n].ready, 1);
  EXPECT_EQ(t.volumes[0].interpol_data[n].donor_points[9], s.volumes[0].interpol_data[n].donor_points[9]);
}

// A damaged folder is refused with a message naming the file, and the state
// that was there before is left exactly as it was.
TEST(ResultReader, DamagedFoldersLeaveTheStateUnchangedAndNameTheFile) {
  struct Damage {
    const char* what;
    const char* file;  // below the folder, expected in the message
    std::function<void(const std::string&)> apply;
  };
  auto replaceLine = [](const std::string& path, size_t line, const std::string& with) {
    auto l = lines(readAll(path));
    l.at(line) = with;
    std::string out;
    for (auto& x : l) out += x + "\n";
    writeAll(path, out);
  };
  const std::vector<Damage> damages = {
      {"missing slice", "volume_2/T/3.txt",
       [](const std::string& d) { fs::remove(d + "/volume_2/T/3.txt"); }},
      {"slice with a column too few", "volume_1/u/1.txt",
       [](const std::string& d) {
         std::string t = "4 3 \n";
         for (int r = 0; r < 4; ++r) t += "1.0e+00 2.0e+00 3.0e+00 \n";
         writeAll(d + "/volume_1/u/1.txt", t);
       }},
      {"truncated slice", "volume_1/point_glob/z/2.txt",
       [](const std::string& d) {
         const std::string p = d + "/volume_1/point_glob/z/2.txt";
         const std::string t = readAll(p);
         writeAll(p, t.substr(0, t.size() / 2));
       }},
      {"bad donor index", "volume_1/interpol_data/interpol_data.txt",
       [&](const std::string& d) {
         replaceLine(d + "/volume_1/interpol_data/interpol_data.txt", 2, "9 ");
       }},
      {"donor point outside the donor", "volume_2/interpol_data/interpol_data.txt",
       [&](const std::string& d) {
         replaceLine(d + "/volume_2/interpol_data/interpol_data.txt", 6, "100000 ");
       }},
      {"record for a point outside the volume", "volume_1/interpol_data/interpol_data.txt",
       [&](const std::string& d) {
         replaceLine(d + "/volume_1/interpol_data/interpol_data.txt", 0, "(5,0,0) ");
       }},
      {"truncated interpolation record", "volume_2/interpol_data/interpol_data.txt",
       [](const std::string& d) {
         const std::string p = d + "/volume_2/interpol_data/interpol_data.txt";
         auto l = lines(readAll(p));
         std::string out;
         for (size_t i = 0; i < 20; ++i) out += l[i] + "\n";
         writeAll(p, out);
       }},
      {"stencil_size that does not match the records", "volume_1/interpol_data/interpol_data.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 125, "9 "); }},
      {"plane_count that does not match the planes", "volume_2/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_2/all.txt", 128, "5 "); }},
      {"size whose point count is not an int", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 2, "2147483647 "); }},
      {"strides that do not match the sizes", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 83, "5 "); }},
      {"point type out of range", "volume_2/type_point/4.txt",
       [](const std::string& d) {
         const std::string p = d + "/volume_2/type_point/4.txt";
         std::string t = readAll(p);
         t.replace(t.find('\n') + 1, 22, "9.0000000000000000e+00");
         writeAll(p, t);
       }},
      {"truncated global file", "all.txt",
       [](const std::string& d) {
         const std::string t = readAll(d + "/all.txt");
         writeAll(d + "/all.txt", t.substr(0, t.size() - 8));
       }},
      {"more volumes than folders", "volume_3",
       [&](const std::string& d) { replaceLine(d + "/all.txt", 8, "3 "); }},
      {"histories of different lengths", "m_time.txt",
       [](const std::string& d) { writeAll(d + "/m_time.txt", "1 \n5.0e-01 \n"); }},
      {"malformed number in a volume state", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 40, "0.0x1 "); }},
      // One-character edits that used to load and make the kernels read
      // outside the arrays: the computed region must be the one the grid
      // construction gives (order/2 .. N - order/2).
      {"first i index 1 -> 0", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 76, "0 "); }},
      {"last i index one too far", "volume_2/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_2/all.txt", 77, "4 "); }},
      {"first j index 1 -> 0", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 78, "0 "); }},
      {"first k index 1 -> 0", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 80, "0 "); }},
      {"point count one less", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/volume_1/all.txt", 0, "3 "); }},
      {"empty interpolation file of a ready case", "volume_1/interpol_data/interpol_data.txt",
       [&](const std::string& d) {
         replaceLine(d + "/all.txt", 17, "1 ");
         writeAll(d + "/volume_1/interpol_data/interpol_data.txt", "");
       }},
      {"negative dt", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 3, "-1 "); }},
      {"zero dt", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 3, "0 "); }},
      {"NaN dt", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 3, "nan "); }},
      {"k of 0", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 4, "0.0 "); }},
      {"negative Re", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 5, "-100 "); }},
      {"M of 0", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 6, "0 "); }},
      {"Pr of 0", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 7, "0 "); }},
      {"scheme order 0", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 2, "0 "); }},
      {"scheme order 3", "all.txt", [&](const std::string& d) { replaceLine(d + "/all.txt", 2, "3 "); }},
      {"scheme order 4 with a second-order grid", "volume_1/all.txt",
       [&](const std::string& d) { replaceLine(d + "/all.txt", 2, "4 "); }},
      {"scheme order 1000", "all.txt",
       [&](const std::string& d) { replaceLine(d + "/all.txt", 2, "1000 "); }},
      {"step counter about to overflow", "all.txt",
       [&](const std::string& d) { replaceLine(d + "/all.txt", 1, "2147483647 "); }},
      {"history counter about to overflow", "all.txt",
       [&](const std::string& d) { replaceLine(d + "/all.txt", 14, "2147483647 "); }},
      {"NaN coordinate", "volume_2/point_loc",
       [](const std::string& d) {
         const std::string p = d + "/volume_2/point_loc/y/1.txt";
         std::string t = readAll(p);
         const size_t at = t.find('\n') + 1;
         t.replace(at, t.find(' ', at) - at, "nan");
         writeAll(p, t);
       }},
      {"infinite global coordinate", "volume_1/point_glob",
       [](const std::string& d) {
         const std::string p = d + "/volume_1/point_glob/z/0.txt";
         std::string t = readAll(p);
         const size_t at = t.find('\n') + 1;
         t.replace(at, t.find(' ', at) - at, "-inf");
         writeAll(p, t);
       }},
      {"NUL inside a number", "volume_1/all.txt",
       [&](const std::string& d) {
         replaceLine(d + "/volume_1/all.txt", 82, std::string("16\0zz ", 6));
       }},
      {"series value cut inside its exponent", "m_Cp.txt",
       [](const std::string& d) { writeAll(d + "/m_Cp.txt", "3 \n1e \n 2.0e+00 \n 1.5e- \n"); }},
      {"FIFO in place of a slice", "volume_1/u/0.txt",
       [](const std::string& d) {
         fs::remove(d + "/volume_1/u/0.txt");
         ASSERT_EQ(mkfifo((d + "/volume_1/u/0.txt").c_str(), 0600), 0);
       }},
      {"state file linked to an endless device", "volume_2/all.txt",
       [](const std::string& d) {
         fs::remove(d + "/volume_2/all.txt");
         fs::create_symlink("/dev/zero", d + "/volume_2/all.txt");
       }},
      {"huge point count with the files missing", "volume_1/u/5.txt",
       [&](const std::string& d) {
         replaceLine(d + "/volume_1/all.txt", 0, "3000 ");
         replaceLine(d + "/volume_1/all.txt", 77, "2999 ");
       }},
  };

  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    const std::string dir = savedCase("damaged");
    damage.apply(dir);

    SimulationState t;
    fillCase(t, 1, 2, 2, 2, 4242);
    t.stepCount = 99;
    t.Re = 7;
    t.historyCx.resize(5);
    const double u0 = t.volumes[0].u[5];
    const int generation = t.volumesGeneration.load();
    CoreError error;
    EXPECT_FALSE(loadCase(t, dir, &error));
    EXPECT_NE(error.detail.find(dir + "/" + damage.file), std::string::npos) << error;
    EXPECT_EQ(t.volumeCount, 1);
    ASSERT_EQ(t.volumes.size(), 1u);
    EXPECT_EQ(t.volumes[0].Nx, 2);
    EXPECT_EQ(t.volumes[0].u[5], u0);
    EXPECT_EQ(t.stepCount, 99);
    EXPECT_EQ(t.Re, 7);
    EXPECT_EQ(t.historyCx.size(), 5);
    EXPECT_EQ(t.volumesGeneration.load(), generation);
  }
}

TEST(ResultReader, MissingFolderIsReported) {
  SimulationState t;
  CoreError error;
  const std::string dir = freshDir("does_not_exist");
  EXPECT_FALSE(loadCase(t, dir, &error));
  EXPECT_NE(error.detail.find(dir), std::string::npos);
}

// Save and Open while a solver-like worker runs passes that write the fields
// and append to the histories under the pass lock: neither may overlap a
// pass (ThreadSanitizer checks the accesses), and every saved and loaded
// case is consistent.
TEST(ResultFolderThread, SaveAndOpenNeverOverlapAPass) {
  SimulationState s;
  fillCase(s, 2, 4, 3, 3);
  s.solveThread.setBody([&s](WorkerThread& w) {
    for (;;) {
      const uint64_t ticket = w.ticket();
      if (!s.running.load()) {
        if (!w.suspendSelf(ticket)) return;
        continue;
      }
      if (!w.checkpoint()) return;
      std::lock_guard<std::mutex> pass(s.passMutex);
      double sum = 0;
      for (FiniteVolume& vol : s.volumes) {
        if (vol.allocated != 1) continue;
        for (double& x : vol.u) sum += (x += 1.0);
      }
      s.physicalTime += s.dt;
      ++s.stepCount;
      std::lock_guard<std::mutex> series(s.seriesMutex);
      for (ValueSeries* h : {&s.historyCx, &s.historyCp, &s.historyCf, &s.historyTime}) {
        h->append();
        h->item(h->size() - 1) = sum;
      }
    }
  });
  const std::string dir = freshDir("thread");
  s.running = 1;
  s.solveThread.start();
  CoreError error;
  for (int round = 0; round < 4; ++round) {
    ASSERT_TRUE(saveCase(s, dir, &error)) << error;
    EXPECT_EQ(lines(readAll(dir + "/m_Cx.txt")).front(), lines(readAll(dir + "/m_time.txt")).front());
    ASSERT_TRUE(loadCase(s, dir, &error)) << error;
    EXPECT_EQ(s.running.load(), 0);  // Open stopped the solver
    {
      std::lock_guard<std::mutex> series(s.seriesMutex);
      EXPECT_EQ(s.historyCx.size(), s.historyTime.size());
    }
    s.running = 1;
    s.solveThread.start();
  }
  s.running = 0;
  s.solveThread.shutdown();
}


// A grid built by Create comes back with its types, coordinates and donor
// cells exactly, and with metrics recomputed to the same single-precision
// values although the radial map constants were kept to 16 decimals only.
TEST(ResultReader, BuiltGridRoundTripsWithRecomputedMetrics) {
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  in.nx = 6;
  in.ny = 4;
  in.nz = 4;
  CoreError error;
  ASSERT_TRUE(createDomain(s, in, nullptr));
  const std::string dir = freshDir("built_grid");
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  SimulationState t;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  ASSERT_EQ(t.volumeCount, 6);
  EXPECT_EQ(t.gridCreated.load(), 1);
  EXPECT_EQ(t.interpolTotal.load(), s.interpolTotal.load());
  int interpolated = 0;
  for (int v = 0; v < 6; ++v) {
    const FiniteVolume& a = s.volumes[v];
    const FiniteVolume& b = t.volumes[v];
    EXPECT_EQ(a.type_point, b.type_point);
    EXPECT_TRUE(sameBits(a.point_loc, b.point_loc));
    EXPECT_TRUE(sameBits(a.point_glob, b.point_glob));
    for (size_t n = 0; n < a.interpol_data.size(); ++n) {
      if (a.type_point[n] <= 3) continue;
      ++interpolated;
      EXPECT_EQ(std::tie(a.interpol_data[n].donor, a.interpol_data[n].cell_i,
                         a.interpol_data[n].cell_j, a.interpol_data[n].cell_k),
                std::tie(b.interpol_data[n].donor, b.interpol_data[n].cell_i,
                         b.interpol_data[n].cell_j, b.interpol_data[n].cell_k));
    }
    int differ = 0;
    auto compare = [&](const std::vector<float>& x, const std::vector<float>& y) {
      ASSERT_EQ(x.size(), y.size());
      for (size_t n = 0; n < x.size(); ++n) {
        if (x[n] == y[n]) continue;
        ++differ;
        EXPECT_NEAR(x[n], y[n], 1e-6 * std::fabs(x[n]));
      }
    };
    compare(a.xi_x, b.xi_x);
    compare(a.g_xixi, b.g_xixi);
    compare(a.lap_xi, b.lap_xi);
    compare(a.g_etazeta, b.g_etazeta);
    EXPECT_LE(differ, 2) << "volume " << v;
    EXPECT_TRUE(std::any_of(b.g_xixi.begin(), b.g_xixi.end(), [](float x) { return x != 0; }));
  }
  EXPECT_GT(interpolated, 0);
}


// Save while the interpolation thread computes stencils: the thread is held
// still while the case is written and must go on afterwards to finish the
// data, which then save and load whole.
TEST(ResultFolderThread, SaveDuringInterpolationPausesAndResumesIt) {
  SimulationState s;
  DomainInputs in;
  in.D = toSingle(15);
  in.s = toSingle(0.02);
  in.nx = 8;
  in.ny = 6;
  in.nz = 6;
  CoreError error;
  ASSERT_TRUE(createDomain(s, in, nullptr));
  toggleInterpolation(s);
  const std::string dir = freshDir("during_interpolation");
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  const bool overlapped = s.interpolRunning.load() == 1;
  for (int wait = 0; wait < 6000 && s.interpolRunning.load(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(s.interpolRunning.load(), 0);
  EXPECT_EQ(s.interpolationReady.load(), 1) << "overlapped: " << overlapped;

  SimulationState t;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;  // a consistent snapshot
  ASSERT_TRUE(saveCase(s, dir, &error)) << error;
  ASSERT_TRUE(loadCase(t, dir, &error)) << error;
  EXPECT_EQ(t.interpolationReady.load(), 1);
  EXPECT_EQ(t.interpolProcessed.load(), t.interpolTotal.load());
}
