// Option table and parser of brelvik-batch.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "cli/batch.h"
#include "cli/batch_limits.h"
#include "io/case_checks.h"

namespace brelvik {

namespace {

bool optionError(std::string* error, const std::string& name, const std::string& what) {
  if (error) *error = "option --" + name + ": " + what;
  return false;
}

// Whole-token number parsing: unlike the dialogs, the command line refuses
// "12abc" instead of reading 12.
bool parseDouble(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool parseInt(const std::string& text, int& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

// A positive real stored into `field`.
auto positiveReal(const char* name, double BatchOptions::*field) {
  return [name, field](BatchOptions& o, const std::string& v, std::string* error) {
    double x = 0;
    if (!parseDouble(v, x)) return optionError(error, name, "\"" + v + "\" is not a number");
    if (!(x > 0)) return optionError(error, name, "must be positive, got " + v);
    o.*field = x;
    return true;
  };
}

// A positive flow parameter (kept optional: unset ones are not changed).
auto flowParameter(const char* name, std::optional<double> BatchOptions::*field) {
  return [name, field](BatchOptions& o, const std::string& v, std::string* error) {
    double x = 0;
    if (!parseDouble(v, x)) return optionError(error, name, "\"" + v + "\" is not a number");
    if (!(x > 0)) return optionError(error, name, "must be positive, got " + v);
    // The energy equation divides by k - 1.
    if (std::string(name) == "k" && !(x > 1))
      return optionError(error, name, "must be greater than 1, got " + v);
    o.*field = x;
    return true;
  };
}

auto integerBetween(const char* name, int BatchOptions::*field, int minimum, int maximum,
                    const char* why) {
  return [=](BatchOptions& o, const std::string& v, std::string* error) {
    int x = 0;
    if (!parseInt(v, x)) return optionError(error, name, "\"" + v + "\" is not an integer");
    if (x < minimum)
      return optionError(error, name, "must be at least " + std::to_string(minimum) + ", got " + v);
    if (x > maximum)
      return optionError(error, name, "must be at most " + std::to_string(maximum) + " (" + why +
                                          "), got " + v);
    o.*field = x;
    return true;
  };
}

// Cell counts: the memory check of the whole grid comes with the other
// domain checks; here only what keeps N + order + 1 an int.
auto cellCount(const char* name, int BatchOptions::*field) {
  return integerBetween(name, field, 1, INT_MAX / 2, "the grid must fit in memory");
}

// Grid options also remember that a grid option was given.
template <class F>
auto gridOption(const char* name, F apply) {
  return [name, apply](BatchOptions& o, const std::string& v, std::string* error) {
    if (!apply(o, v, error)) return false;
    if (o.gridOptionGiven.empty()) o.gridOptionGiven = name;
    return true;
  };
}

auto folder(const char* name, std::string BatchOptions::*field) {
  return [name, field](BatchOptions& o, const std::string& v, std::string* error) {
    if (v.empty()) return optionError(error, name, "needs a folder name");
    o.*field = v;
    return true;
  };
}

bool applyFarField(BatchOptions& o, const std::string& v, std::string* error) {
  if (v == "reflecting")
    o.farField = FarField::Reflecting;
  else if (v == "absorbing")
    o.farField = FarField::Absorbing;
  else
    return optionError(error, "far-field", "must be reflecting or absorbing, got \"" + v + "\"");
  return true;
}

// EPS[,WINDOW]
bool applyConverge(BatchOptions& o, const std::string& v, std::string* error) {
  const size_t comma = v.find(',');
  const std::string epsText = v.substr(0, comma);
  double eps = 0, window = kDefaultConvergeWindow;
  if (!parseDouble(epsText, eps))
    return optionError(error, "converge", "\"" + epsText + "\" is not a number");
  if (!(eps > 0)) return optionError(error, "converge", "EPS must be positive, got " + epsText);
  if (comma != std::string::npos) {
    const std::string windowText = v.substr(comma + 1);
    if (!parseDouble(windowText, window))
      return optionError(error, "converge", "window \"" + windowText + "\" is not a number");
    if (!(window > 0))
      return optionError(error, "converge", "WINDOW must be positive, got " + windowText);
  }
  o.convergeEps = eps;
  o.convergeWindow = window;
  return true;
}

bool applyAverageFrom(BatchOptions& o, const std::string& v, std::string* error) {
  double x = 0;
  if (!parseDouble(v, x))
    return optionError(error, "average-from", "\"" + v + "\" is not a number");
  o.averageFrom = x;
  return true;
}

}  // namespace

BatchOptions noArgumentOptions() {
  BatchOptions o;
  o.farField = FarField::Absorbing;
  o.dt = 0.005;
  o.convergeEps = 1e-3;
  o.steps = 60000;
  return o;
}

const std::vector<BatchOption>& batchOptionTable() {
  static const std::vector<BatchOption> table = withExportOptions(withPostOptions({
      {"size", "D", "domain size: outer radius in sphere radii (default 15)",
       gridOption("size", positiveReal("size", &BatchOptions::size))},
      {"first-step", "S", "radial size of the first cell at the sphere (default 0.02)",
       gridOption("first-step", positiveReal("first-step", &BatchOptions::firstStep))},
      {"nx", "N", "radial cell count (default 19)",
       gridOption("nx", cellCount("nx", &BatchOptions::nx))},
      {"ny", "N", "angular cell count along eta (default 12)",
       gridOption("ny", cellCount("ny", &BatchOptions::ny))},
      {"nz", "N", "angular cell count along zeta (default 12)",
       gridOption("nz", cellCount("nz", &BatchOptions::nz))},
      {"dt", "DT", "time step (default 0.001)", flowParameter("dt", &BatchOptions::dt)},
      {"re", "RE", "Reynolds number (default 100)", flowParameter("re", &BatchOptions::Re)},
      {"mach", "M", "Mach number (default 0.6)", flowParameter("mach", &BatchOptions::M)},
      {"pr", "PR", "Prandtl number (default 1)", flowParameter("pr", &BatchOptions::Pr)},
      {"k", "K", "ratio of specific heats, above 1 (default 1.4)", flowParameter("k", &BatchOptions::k)},
      {"far-field", "KIND",
       "outer boundary: reflecting (default) or absorbing (lets sound waves leave)",
       applyFarField},
      {"steps", "N", "solver steps to run, at most 10^9; 0 prepares and saves the case (default 1000)",
       integerBetween("steps", &BatchOptions::steps, 0, kMaxRunSteps,
                      "the step counter of a continued case must not overflow")},
      {"converge", "EPS[,WINDOW]",
       "stop once Cx stayed within EPS (relative) of its latest value over the last WINDOW "
       "time units (default 15); exit 5 if --steps runs out first",
       applyConverge},
      {"average-from", "T", "print the time averages of Cx, Cp, Cf over t >= T at the end",
       applyAverageFrom},
      {"open", "DIR", "continue the case saved in DIR instead of building a new one",
       folder("open", &BatchOptions::openDir)},
      {"save", "DIR", "folder the case is saved to at the end (default \"save\")",
       folder("save", &BatchOptions::saveDir)},
      {"threads", "N",
       "number of threads of the numerical kernels, at most 1024 and one per 8 MiB of memory "
       "(default: all cores)",
       integerBetween("threads", &BatchOptions::threads, 1, maxKernelThreads(),
                      "one 8 MiB stack per thread must fit in memory")},
      {"quiet", nullptr, "draw no progress bars",
       [](BatchOptions& o, const std::string&, std::string*) {
         o.quiet = true;
         return true;
       }},
      {"help", nullptr, "show this help and exit",
       [](BatchOptions& o, const std::string&, std::string*) {
         o.help = true;
         return true;
       }},
  }));
  return table;
}

bool parseBatchOptions(const std::vector<std::string>& args, BatchOptions& options,
                       std::string* error) {
  const auto& table = batchOptionTable();
  for (size_t a = 0; a < args.size(); ++a) {
    const std::string& arg = args[a];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      if (error) *error = "unexpected argument \"" + arg + "\" (options start with --; see --help)";
      return false;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const BatchOption* option = nullptr;
    for (const BatchOption& o : table)
      if (name == o.name) option = &o;
    if (!option) {
      if (error) *error = "unknown option --" + name + " (see --help)";
      return false;
    }
    if (!option->valueName) {
      if (value) return optionError(error, name, "takes no value");
      if (!option->apply(options, std::string(), error)) return false;
      continue;
    }
    if (!value) {
      if (a + 1 >= args.size()) return optionError(error, name, "needs a value");
      value = args[++a];
    }
    if (!option->apply(options, *value, error)) return false;
  }
  if (options.help) return true;
  if (!options.openDir.empty() && !options.gridOptionGiven.empty()) {
    return optionError(error, options.gridOptionGiven,
                       "cannot be combined with --open: the grid comes from the saved case");
  }
  return checkPostOptions(options, error) && checkExportOptions(options, error);
}

std::string batchUsage() {
  std::ostringstream text;
  text << "Usage: brelvik-batch [OPTION]...\n"
          "Runs a flow case round the sphere without a window: builds the grid, computes\n"
          "the interpolation data, sets the initial flow, runs the solver and saves the\n"
          "case. Every history sample is printed to standard output as one line\n"
          "\"step<TAB>time<TAB>Cx<TAB>Cp<TAB>Cf\" followed by the five residuals (RMS of\n"
          "dq/dt for ro, u, v, w, T); progress goes to standard error.\n"
          "Flow parameters are rounded to single precision, as the flow dialog stores them.\n"
          "Without any option it runs the default case with --far-field absorbing\n"
          "--dt 0.005 --converge 0.001 --steps 60000 and prints the final coefficients.\n"
          "\nOptions:\n";
  for (const BatchOption& o : batchOptionTable()) {
    std::string left = std::string("  --") + o.name;
    if (o.valueName) left += std::string(" ") + o.valueName;
    text << left;
    const size_t column = 24;
    if (left.size() + 2 > column)
      text << "\n" << std::string(column, ' ');
    else
      text << std::string(column - left.size(), ' ');
    text << o.help << "\n";
  }
  text << "\nExit status: 0 done (with --converge: converged); 2 bad option or input; 3 the\n"
          "solution diverged (the case is still saved); 4 a file or folder could not be read\n"
          "or written; 5 --converge was given and --steps ran out first (the case is still\n"
          "saved).\n";
  return text.str();
}

}  // namespace brelvik
