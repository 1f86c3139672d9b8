#pragma once
// Byte-level walks over JPEG data that do not need the library: finding the start of the
// data, gathering an ICC profile from its APP2 chunks, and measuring the data up to its end.

#include <cstdint>
#include <vector>

class TStream;

// Reads the ICC profile chunks ("ICC_PROFILE" APP2 segments) from the JPEG data at the
// stream's position, up to the end-of-image marker. Only a complete set of chunks 1..count
// makes a profile, joined in chunk order into Profile; false (Profile empty) otherwise.
// Damaged segments end the walk or are skipped; nothing is read beyond the stream's end.
// The stream is left wherever the walk stopped.
bool ReadJpegIccProfile(TStream& Stream, std::vector<uint8_t>& Profile);
