#pragma once
// TVLICC: the bytes of an ICC colour profile. Colour-managed conversion is never switched
// on in this system, so no profile is opened through a colour-management library; a profile
// counts as open when its bytes look like an ICC profile (the big-endian size at offset 0
// equals the byte count and "acsp" stands at offset 36).

#include <cstddef>
#include <cstdint>
#include <vector>

class TVLICC {
 public:
  // Replaces the bytes with a copy of Data[0..Length) and checks them.
  void LoadProfileBytes(const uint8_t* Data, size_t Length);
  void Assign(const TVLICC& Source) { LoadProfileBytes(Source.Raw(), Source.RawLength()); }
  void Clear();
  bool HasOpenProfile() const { return FOpen; }
  bool IsEmpty() const { return FBytes.empty(); }

  const uint8_t* Raw() const { return FBytes.data(); }
  size_t RawLength() const { return FBytes.size(); }
  const std::vector<uint8_t>& Bytes() const { return FBytes; }

  // True when Data looks like a complete ICC profile.
  static bool LooksLikeProfile(const uint8_t* Data, size_t Length);

 private:
  std::vector<uint8_t> FBytes;
  bool FOpen = false;
};
