#pragma once
// Enumerations of the parameter set (stored in one byte) with their display names and, for
// the TIFF ones, the mapping from and to the tag values found in files.

#include <cstdint>

enum TVLTIFFCompression : uint8_t {
  tcUNCOMPRESSED = 0,  // tag value 1
  tcCCITT1D = 1,       // 2
  tcG3FAX1D = 2,       // 3 without the two-dimensional option
  tcG3FAX2D = 3,       // 3 with it
  tcG4FAX = 4,         // 4
  tcLZW = 5,           // 5
  tcOLDJPEG = 6,       // 6
  tcJPEG = 7,          // 7
  tcPACKBITS = 8,      // 32773
  tcUNKNOWN = 9,       // any other value
};

enum TVLTIFFPhotometric : uint8_t {
  tpWHITEISZERO = 0,
  tpBLACKISZERO = 1,
  tpRGB = 2,
  tpRGBPALETTE = 3,
  tpTRANSPMASK = 4,
  tpCMYK = 5,
  tpYCBCR = 6,
  tpCIELAB = 7,  // tag value 8
};

enum TVLJPEGColorSpace : uint8_t { jcRGB = 0, jcGrayScale = 1, jcYCbCr = 2, jcCMYK = 3, jcYCbCrK = 4 };
enum TVLJPEGDCTMethod : uint8_t { jdISLOW = 0, jdIFAST = 1, jdFLOAT = 2 };
enum TVLJPEGScale : uint8_t { jsAutoCalc = 0, jsFullSize = 1, jsHalf = 2, jsQuarter = 3, jsEighth = 4 };

// Compression names in the order a parameters dialog lists them (the old-style JPEG is not
// offered): "UNCOMPRESSED" ... "PACKBITS".
extern const char* const kTIFFCompressionDialogNames[8];
// Display name of one value; "" for tcOLDJPEG and tcUNKNOWN.
const char* TIFFCompressionName(TVLTIFFCompression Value);
// From the Compression tag value (and bit 0 of T4Options for value 3).
TVLTIFFCompression TIFFCompressionFromTag(uint32_t TagValue, uint32_t T4Options);
// The tag value to write (tcG3FAX2D gives 3; tcUNKNOWN gives 1).
uint16_t TIFFCompressionToTag(TVLTIFFCompression Value);

extern const char* const kTIFFPhotometricNames[8];  // "WHITEISZERO/Gray" ... "CIELAB"
const char* TIFFPhotometricName(TVLTIFFPhotometric Value);
// Tag values 0..6 map to 0..6 and 8 to tpCIELAB; false for any other value.
bool TIFFPhotometricFromTag(uint32_t TagValue, TVLTIFFPhotometric& Value);
uint16_t TIFFPhotometricToTag(TVLTIFFPhotometric Value);

extern const char* const kJPEGDCTMethodNames[3];  // "ISLOW", "IFAST", "FLOAT"
const char* JPEGDCTMethodName(TVLJPEGDCTMethod Value);
