// libpng's message handlers and the stream callbacks.

#include "imaging/codecs/png/png_glue.h"

#include <cstdlib>

#include "imaging/io/stream.h"

namespace {

TPngState& StateOf(png_structp Png) { return *static_cast<TPngState*>(png_get_error_ptr(Png)); }

// Must not return: the library would print the message and jump itself.
[[noreturn]] void OnError(png_structp Png, png_const_charp Message) {
  StateOf(Png).Message = Message != nullptr ? Message : "";
  png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp Png, png_bytep Data, size_t Length) {
  TPngState& state = StateOf(Png);
  size_t got = 0;
  bool raised = false;
  try {
    got = state.Stream->Read(Data, Length);
  } catch (...) {
    state.Pending = std::current_exception();
    raised = true;
  }
  // The handler is left before jumping: the exception now lives in Pending.
  if (raised) png_error(Png, "stream failure");
  if (got < Length) {
    state.ShortIO = true;
    png_error(Png, "unexpected end of data");
  }
}

void OnWrite(png_structp Png, png_bytep Data, size_t Length) {
  TPngState& state = StateOf(Png);
  size_t put = 0;
  bool raised = false;
  try {
    put = state.Stream->Write(Data, Length);
  } catch (...) {
    state.Pending = std::current_exception();
    raised = true;
  }
  if (raised) png_error(Png, "stream failure");
  if (put < Length) {
    state.ShortIO = true;
    png_error(Png, "short write");
  }
}

void OnFlush(png_structp) {}

// The library's own allocations on read are chunk buffers, rows and the inflate state. A file
// that claims a huge ancillary chunk (lengths up to 2 GB are allowed) is refused here, before
// the memory is taken; libpng then skips the chunk or fails the read.
constexpr png_alloc_size_t kLibraryAllocationMax = png_alloc_size_t(64) << 20;

png_voidp CappedMalloc(png_structp, png_alloc_size_t Size) {
  return Size > kLibraryAllocationMax ? nullptr : std::malloc(Size);
}

void PlainFree(png_structp, png_voidp Block) { std::free(Block); }

}  // namespace

bool TPngObjects::Create(TPngState& State) {
  Png = FWrite ? png_create_write_struct(PNG_LIBPNG_VER_STRING, &State, OnError, OnWarning)
               : png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &State, OnError, OnWarning,
                                          nullptr, CappedMalloc, PlainFree);
  if (Png == nullptr) return false;
  Info = png_create_info_struct(Png);
  if (Info == nullptr) return false;
  if (FWrite)
    png_set_write_fn(Png, &State, OnWrite, OnFlush);
  else
    png_set_read_fn(Png, &State, OnRead);
  return true;
}

void TPngObjects::Destroy() {
  if (Png == nullptr) return;
  png_infopp info = Info != nullptr ? &Info : nullptr;
  if (FWrite)
    png_destroy_write_struct(&Png, info);
  else
    png_destroy_read_struct(&Png, info, nullptr);
  Png = nullptr;
  Info = nullptr;
}
