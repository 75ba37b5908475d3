#pragma once
// The small part of the VTK XML file formats that the export needs: one
// dataset file (.vts StructuredGrid, .vtp PolyData) with its arrays in a raw
// appended block, and the plain-XML collection files (.vtm, .pvd).
//
// Binary layout of an appended block: the file's XML ends with
//   <AppendedData encoding="raw">_BLOCK...</AppendedData>
// and every DataArray names its offset, counted from the byte after "_".
// At that offset a UInt64 byte count (header_type="UInt64") precedes the
// array's values. Values are written in the machine's byte order and the
// file's byte_order attribute says which one that is, so a reader on either
// kind of machine swaps when it must.

#include <cstdint>
#include <string>
#include <vector>

#include "state/core_error.h"

namespace brelvik {

// "LittleEndian" or "BigEndian": the byte order of this machine.
const char* vtkByteOrder();

// One dataset file under construction: XML text plus the appended block.
// Sections (<Piece>, <PointData>, ...) are opened and closed by the caller
// with raw(); arrays go in with the typed add functions.
class VtkDatasetFile {
 public:
  // `type`: "StructuredGrid", "PolyData", ...; `datasetAttributes`: the
  // attributes of the dataset element (e.g. WholeExtent="0 4 0 4 0 4").
  VtkDatasetFile(const std::string& type, const std::string& datasetAttributes);

  void raw(const std::string& xml) { xml_ += xml; }

  // A DataArray of `tuples` tuples of `components` values. The range
  // attributes are left to the reader, which computes them on demand.
  void addFloat64(const std::string& name, int components, const double* values, size_t tuples);
  void addUInt8(const std::string& name, int components, const uint8_t* values, size_t tuples);
  void addInt64(const std::string& name, int components, const int64_t* values, size_t tuples);
  // A field-data array (one value per tuple, NumberOfTuples given).
  void addFieldFloat64(const std::string& name, const double* values, size_t count);

  // Writes the whole file. The bytes go to `path`.tmp first, which then
  // replaces `path`, so a failed write (full disk, no permission) never
  // leaves a truncated file under the final name. False with
  // kFileUnwritable naming `path` and the system's reason as detail.
  bool write(const std::string& path, CoreError* error);

  // The finished file contents (for tests and for sizes).
  std::string contents() const;

 private:
  void add(const std::string& name, const char* type, int components, const void* bytes,
           size_t byteCount, size_t tuples, bool field);
  std::string type_;
  std::string xml_;
  std::vector<unsigned char> block_;
};

// Writes `text` to `path` through `path`.tmp and a rename, as above.
bool writeTextFileAtomically(const std::string& path, const std::string& text,
                             CoreError* error);

// Escapes &, <, >, " for an XML attribute value.
std::string xmlAttribute(const std::string& text);

}  // namespace brelvik
