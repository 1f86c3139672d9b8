#pragma once
// The Exif fields of the parameter set from a TIFF file's main directory and its EXIF
// directory (tag 34665), with the copy of the maker note.

class TTiffDirectory;
class TIOParamsVals;

// Camera, time, text and colour fields that live in the main directory (271, 272, 306, 274,
// 296, 305, 315, 318, 319, 529, 531, 532, 33432, 270 and the XP texts 40091-40095).
void FillMainDirectoryExif(const TTiffDirectory& Dir, TIOParamsVals& Params);

// The fields of the EXIF directory: exposure, lens, times, versions, user comment, sizes,
// and the maker note copied into Params.ExifMakerNote.
void FillExifDirectory(const TTiffDirectory& Exif, TIOParamsVals& Params);
