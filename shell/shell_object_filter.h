#pragma once
// The display options of the shell box and the shell file list, held as bits of one option
// word, and the object filter both controls apply to the navigator's current object.

#include <cstdint>

class TNautex;

enum : uint32_t {
  soShowNethood = 1,
  soShowRecycleBin = 2,
  soShowErrorMessages = 4,
  soShowHidden = 8,
  soShowFiles = 16,
  soShowContextMenuOnTop = 32,
  soColorCompressed = 64,
  soColorEncrypted = 128,
  soNoFillOnStartup = 256,
};

// Whether the navigator's current object is listed under the option word: hidden objects only
// with soShowHidden, the network folders only with soShowNethood, the trash (and hidden
// "RECYCL..." objects) only with soShowRecycleBin, and non-folders only with soShowFiles.
bool PassesObjectFilter(TNautex& Nav, uint32_t Options);
