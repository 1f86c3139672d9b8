// ICC profile bytes.

#include "imaging/model/icc.h"

#include <cstring>

bool TVLICC::LooksLikeProfile(const uint8_t* Data, size_t Length) {
  // An ICC header is 128 bytes; the size field leads it and the signature is at 36.
  if (Data == nullptr || Length < 128) return false;
  const uint32_t size = (uint32_t(Data[0]) << 24) | (uint32_t(Data[1]) << 16) |
                        (uint32_t(Data[2]) << 8) | uint32_t(Data[3]);
  return size == Length && std::memcmp(Data + 36, "acsp", 4) == 0;
}

void TVLICC::LoadProfileBytes(const uint8_t* Data, size_t Length) {
  std::vector<uint8_t> copy;
  if (Data != nullptr && Length > 0) copy.assign(Data, Data + Length);
  FBytes = std::move(copy);
  FOpen = LooksLikeProfile(FBytes.data(), FBytes.size());
}

void TVLICC::Clear() {
  FBytes.clear();
  FOpen = false;
}
