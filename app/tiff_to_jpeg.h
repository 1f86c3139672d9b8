#pragma once
// The "As JPEG" conversion step that the window and the command-line copy share: writes the
// TIFF just loaded into Io as a JPEG file.

#include <string>

class TVistrelIO;

// Writes Io's image to Path as a YCbCr JPEG (whatever file was read before) and returns true
// when the writer succeeded. A TIFF whose data ended early is not converted (false), so the
// copy keeps the original instead of a partly black JPEG. Errors of the environment throw.
bool SaveLoadedTiffAsJpeg(TVistrelIO& Io, const std::string& Path);
