#pragma once
// Image file types known to the I/O component.

#include <cstdint>

enum TVLFileType : int32_t {
  ftUnknown = 0,
  ftTIFF = 1,
  ftGIF = 2,
  ftJPEG = 3,
  ftPCX = 4,
  ftBMP = 5,
  ftICO = 6,
  ftCUR = 7,
  ftPNG = 8,
  ftWMF = 9,
  ftEMF = 10,
  ftTGA = 11,
  ftPXM = 12,
  ftJP2 = 13,
  ftJ2K = 14,
  ftAVI = 15,
  ftWBMP = 16,
  ftPS = 17,
  ftPDF = 18,
  ftDCX = 19,
  ftRAW = 20,
  ftRawPixels = 21,
};
