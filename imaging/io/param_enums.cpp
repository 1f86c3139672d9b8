// Display names and tag mappings of the parameter set's enumerations.

#include "imaging/io/param_enums.h"

const char* const kTIFFCompressionDialogNames[8] = {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D",
                                                    "G4FAX",        "LZW",     "JPEG",    "PACKBITS"};

const char* TIFFCompressionName(TVLTIFFCompression Value) {
  switch (Value) {
    case tcUNCOMPRESSED: return "UNCOMPRESSED";
    case tcCCITT1D: return "CCITT1D";
    case tcG3FAX1D: return "G3FAX1D";
    case tcG3FAX2D: return "G3FAX2D";
    case tcG4FAX: return "G4FAX";
    case tcLZW: return "LZW";
    case tcJPEG: return "JPEG";
    case tcPACKBITS: return "PACKBITS";
    default: return "";
  }
}

TVLTIFFCompression TIFFCompressionFromTag(uint32_t TagValue, uint32_t T4Options) {
  switch (TagValue) {
    case 1: return tcUNCOMPRESSED;
    case 2: return tcCCITT1D;
    case 3: return (T4Options & 1) ? tcG3FAX2D : tcG3FAX1D;
    case 4: return tcG4FAX;
    case 5: return tcLZW;
    case 6: return tcOLDJPEG;
    case 7: return tcJPEG;
    case 32773: return tcPACKBITS;
    default: return tcUNKNOWN;
  }
}

uint16_t TIFFCompressionToTag(TVLTIFFCompression Value) {
  switch (Value) {
    case tcCCITT1D: return 2;
    case tcG3FAX1D:
    case tcG3FAX2D: return 3;
    case tcG4FAX: return 4;
    case tcLZW: return 5;
    case tcOLDJPEG: return 6;
    case tcJPEG: return 7;
    case tcPACKBITS: return 32773;
    default: return 1;
  }
}

const char* const kTIFFPhotometricNames[8] = {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB",  "RGBPALETTE",
                                              "TRANSPMASK",       "CMYK",             "YCBCR", "CIELAB"};

const char* TIFFPhotometricName(TVLTIFFPhotometric Value) {
  return Value <= tpCIELAB ? kTIFFPhotometricNames[Value] : "";
}

bool TIFFPhotometricFromTag(uint32_t TagValue, TVLTIFFPhotometric& Value) {
  if (TagValue <= 6) {
    Value = TVLTIFFPhotometric(TagValue);
    return true;
  }
  if (TagValue == 8) {
    Value = tpCIELAB;
    return true;
  }
  return false;
}

uint16_t TIFFPhotometricToTag(TVLTIFFPhotometric Value) {
  if (Value == tpCIELAB) return 8;
  return Value <= tpYCBCR ? uint16_t(Value) : uint16_t(2);
}

const char* const kJPEGDCTMethodNames[3] = {"ISLOW", "IFAST", "FLOAT"};

const char* JPEGDCTMethodName(TVLJPEGDCTMethod Value) {
  return Value <= jdFLOAT ? kJPEGDCTMethodNames[Value] : "";
}
