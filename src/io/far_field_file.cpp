#include "io/far_field_file.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "io/text_file.h"

namespace brelvik {

using io_detail::fail;

bool writeFarFieldFile(const std::string& path, const FarFieldSettings& settings,
                       std::string* error) {
  io_detail::File f(std::fopen(path.c_str(), "w"));
  if (!f) return fail(error, "cannot create file " + path);
  const char* kind = settings.farField == FarField::Absorbing ? "absorbing" : "reflecting";
  const bool ok = std::fprintf(f.get(), "far_field %s\n", kind) > 0;
  return io_detail::closeWritten(f, ok, path, error);
}

bool readFarFieldFile(const std::string& path, FarFieldSettings& settings, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    settings = FarFieldSettings{};
    return true;
  }
  std::string text;
  std::string why;
  if (!io_detail::readWholeFile(path, text, &why)) return fail(error, path + ": file " + why);
  io_detail::TokenReader r(std::move(text), path);
  FarFieldSettings read;
  std::string key, kind;
  if (!r.readToken(key) || key != "far_field")
    return fail(error, path + ": expected \"far_field\" first");
  if (!r.readToken(kind)) return fail(error, path + ": far_field has no value");
  if (kind == "absorbing")
    read.farField = FarField::Absorbing;
  else if (kind == "reflecting")
    read.farField = FarField::Reflecting;
  else
    return fail(error, path + ": far_field \"" + kind + "\" is neither reflecting nor absorbing");
  if (!r.atEnd()) {
    double ramp = 0;
    if (!r.readToken(key) || key != "ramp")
      return fail(error, path + ": unexpected content after the far field");
    if (!r.readDouble(ramp, "ramp", error)) return false;
    if (!std::isfinite(ramp) || ramp < 0)
      return fail(error, path + ": ramp must be a finite time of 0 or more");
    if (!r.atEnd()) return fail(error, path + ": unexpected content after the ramp");
  }
  settings = read;
  return true;
}

}  // namespace brelvik
