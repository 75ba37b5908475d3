#include "io/vtk_xml.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "io/text_file.h"

namespace brelvik {

using io_detail::File;

namespace {

// The system's reason for the last failed call; empty when it left none.
std::string systemReason(int code) {
  return code ? std::error_code(code, std::generic_category()).message() : std::string();
}

// Every failure names the final file, not the temporary beside it: the
// user chose that name, and the temporary is removed again.
bool writeBytes(const std::string& path, const std::string& head,
                const std::vector<unsigned char>& block, const std::string& tail,
                CoreError* error) {
  const std::string tmp = path + ".tmp";
  errno = 0;
  File f(std::fopen(tmp.c_str(), "wb"));
  if (!f) return failFile(error, ErrorCode::kFileUnwritable, path, systemReason(errno));
  bool ok = std::fwrite(head.data(), 1, head.size(), f.get()) == head.size();
  if (ok && !block.empty()) ok = std::fwrite(block.data(), 1, block.size(), f.get()) == block.size();
  if (ok) ok = std::fwrite(tail.data(), 1, tail.size(), f.get()) == tail.size();
  // fclose flushes the buffer, so a full disk may show up only here.
  if (!io_detail::closeWritten(f, ok, tmp, nullptr)) {
    const int code = errno;
    std::remove(tmp.c_str());
    return failFile(error, ErrorCode::kFileUnwritable, path, systemReason(code));
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    const int code = errno;
    std::remove(tmp.c_str());
    return failFile(error, ErrorCode::kFileUnwritable, path, systemReason(code));
  }
  return true;
}

}  // namespace

const char* vtkByteOrder() {
  return std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian";
}

std::string xmlAttribute(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

VtkDatasetFile::VtkDatasetFile(const std::string& type, const std::string& datasetAttributes)
    : type_(type) {
  xml_ = "<?xml version=\"1.0\"?>\n<VTKFile type=\"" + type + "\" version=\"1.0\" byte_order=\"" +
         vtkByteOrder() + "\" header_type=\"UInt64\">\n<" + type +
         (datasetAttributes.empty() ? "" : " " + datasetAttributes) + ">\n";
}

void VtkDatasetFile::add(const std::string& name, const char* type, int components,
                         const void* bytes, size_t byteCount, size_t tuples, bool field) {
  xml_ += "<DataArray type=\"" + std::string(type) + "\" Name=\"" + xmlAttribute(name) + "\"";
  if (field)
    xml_ += " NumberOfTuples=\"" + std::to_string(tuples) + "\"";
  else
    xml_ += " NumberOfComponents=\"" + std::to_string(components) + "\"";
  xml_ += " format=\"appended\" offset=\"" + std::to_string(block_.size()) + "\"/>\n";
  const uint64_t header = byteCount;
  const size_t at = block_.size();
  block_.resize(at + sizeof header + byteCount);
  std::memcpy(block_.data() + at, &header, sizeof header);
  if (byteCount) std::memcpy(block_.data() + at + sizeof header, bytes, byteCount);
}

void VtkDatasetFile::addFloat64(const std::string& name, int components, const double* values,
                                size_t tuples) {
  add(name, "Float64", components, values, tuples * size_t(components) * sizeof(double), tuples,
      false);
}

void VtkDatasetFile::addUInt8(const std::string& name, int components, const uint8_t* values,
                              size_t tuples) {
  add(name, "UInt8", components, values, tuples * size_t(components), tuples, false);
}

void VtkDatasetFile::addInt64(const std::string& name, int components, const int64_t* values,
                              size_t tuples) {
  add(name, "Int64", components, values, tuples * size_t(components) * sizeof(int64_t), tuples,
      false);
}

void VtkDatasetFile::addFieldFloat64(const std::string& name, const double* values, size_t count) {
  add(name, "Float64", 1, values, count * sizeof(double), count, true);
}

std::string VtkDatasetFile::contents() const {
  std::string text = xml_ + "</" + type_ + ">\n<AppendedData encoding=\"raw\">\n_";
  text.append(reinterpret_cast<const char*>(block_.data()), block_.size());
  return text + "\n</AppendedData>\n</VTKFile>\n";
}

bool VtkDatasetFile::write(const std::string& path, CoreError* error) {
  return writeBytes(path, xml_ + "</" + type_ + ">\n<AppendedData encoding=\"raw\">\n_", block_,
                    "\n</AppendedData>\n</VTKFile>\n", error);
}

bool writeTextFileAtomically(const std::string& path, const std::string& text,
                             CoreError* error) {
  return writeBytes(path, text, {}, {}, error);
}

}  // namespace brelvik
