// Content detection over arbitrary bytes: every test must stay inside the data, and the
// stream's position must be where it was, also when detection starts past the first byte.
// The maker-note rebase of the EXIF writer runs on the same bytes as a note in either order.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/codecs/exif_writer.h"
#include "imaging/component/format_detect.h"
#include "imaging/io/param_objects.h"
#include "imaging/io/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // The first byte chooses where detection starts; the rest is the stream's content.
  const int64_t start = Size > 0 ? Data[0] % 8 : 0;
  TMemoryStream stream(Size > 0 ? Data + 1 : Data, Size > 0 ? Size - 1 : 0);
  stream.SetPosition(start);
  DetectStreamType(stream);
  HasTiffHeader(stream);
  if (stream.Position() != start) std::abort();

  TVLTagsHandler note;
  note.Data.assign(Data, Data + Size);
  for (const bool little : {true, false}) {
    note.LittleEndian = little;
    const std::vector<uint8_t> copy = RebaseMakerNote(note, 1000);
    if (!copy.empty() && copy.size() != Size) std::abort();
  }
  return 0;
}
