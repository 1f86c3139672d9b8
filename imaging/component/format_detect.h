#pragma once
// Recognising an image file's format from its first bytes.
//
// Every test reads a bounded header from the stream's position: data shorter than a test
// needs is no match, nothing is read past the end, and the stream's position is the same
// afterwards.

#include <string>

#include "imaging/io/file_types.h"

class TStream;

// The format the data at the stream's position shows, ftUnknown when no test matches. The
// built-in tests run first, in a fixed order (the first match wins), then the content tests
// of externally registered formats in registry order, and last the camera-raw tests. A test
// that raises ends detection with ftUnknown.
TVLFileType DetectStreamType(TStream& Stream);

// The format of the named file by its content (ftUnknown for an empty name or a file that
// cannot be opened). A TIFF structure in a file whose extension belongs to camera raw is
// ftRAW. With Verify the answer is checked against the extension's registry record: a
// different type gives ftUnknown; an icon or cursor answer, or an extension without a record,
// gives the record's type (ftUnknown without one).
TVLFileType DetectFileType(const std::string& FileName, bool Verify);

// A TIFF header at the stream's position: "II" with a little-endian first-directory offset
// inside the data, or "MM" with a big-endian one and a ninth byte other than 0xBA. The
// stream's position is restored.
bool HasTiffHeader(TStream& Stream);
