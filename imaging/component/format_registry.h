#pragma once
// The process-wide file-format registry: one record per format the I/O component knows,
// with its type, name, extensions and entry points. The nineteen built-in records are
// present from first use; further (external) formats may be registered and removed at run
// time. All functions are safe to call from any thread; lookups return copies.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/io/file_types.h"
#include "imaging/io/progress.h"

class TStream;
class TVLBitmap;
class TIOParamsVals;

// Reads one image from the stream into the bitmap and the parameter set; failure only
// through Progress.AbortFlag.
using TVLReadProc =
    std::function<void(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                       TVLProgressState& Progress)>;
// Writes the bitmap to the stream with the parameter set; failure through Progress.AbortFlag.
using TVLWriteProc = TVLReadProc;
// Tells whether the stream's content is of this format.
using TVLTryProc = std::function<bool(TStream& Stream)>;

// Longest full name and extension list a record keeps (longer ones are cut).
constexpr size_t kFormatTextMax = 80;

struct TVLFormatEntry {
  TVLFileType FileType = ftUnknown;
  std::string FullName;    // for example "TIFF Bitmap"
  std::string Extensions;  // upper case, ";"-separated, for example "TIF;TIFF"
  // Built-in formats are internal: the component dispatches them to its own format
  // operations, and their entry points only mark them readable or writable.
  bool InternalFormat = false;
  uint16_t DialogPage = 0;
  TVLReadProc ReadFunction;    // empty: the format cannot be read
  TVLWriteProc WriteFunction;  // empty: the format cannot be written
  TVLTryProc TryFunction;      // empty or answering false: no content test
};

// The extension of a file name including its leading ".", or "" when the last path
// component has no ".".
std::string ExtractFileExtension(std::string_view FileName);

// The first record listing Extension (compared without regard to ASCII case; a leading "."
// is ignored), searching the records in order and each record's extensions in order.
std::optional<TVLFormatEntry> FindFormatByExtension(std::string_view Extension);
// The first record of the given type.
std::optional<TVLFormatEntry> FindFormatByType(TVLFileType FileType);
// A snapshot of all records in order.
std::vector<TVLFormatEntry> RegisteredFormats();

// Appends a copy of Entry as an external format (its internal flag is cleared; names longer
// than kFormatTextMax are cut).
void RegisterFileFormat(const TVLFormatEntry& Entry);
// Removes the first record of the given type; false when there is none.
bool UnregisterFileFormat(TVLFileType FileType);
