#pragma once
// The PackBits run-length decompressor of TIFF compression 32773.

#include <cstddef>
#include <cstdint>

// Decodes one row of RowLength bytes into Row from Data[Pos..Length), advancing Pos past
// every run consumed (a run that crosses the row's end is consumed whole, its surplus
// dropped). Returns the bytes written; when the data ends first the rest of the row is
// zero-filled and the count is below RowLength.
size_t UnpackBitsRow(uint8_t* Row, size_t RowLength, const uint8_t* Data, size_t Length,
                     size_t& Pos);
