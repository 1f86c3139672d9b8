// The JPEG library's error, source and destination managers on our streams.

#include "imaging/codecs/jpeg/jpeg_glue.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>
#include <utility>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/stream.h"
#include "platform/fs.h"

static_assert(std::is_standard_layout_v<TJpegSource>);
static_assert(std::is_standard_layout_v<TJpegDestination>);

namespace {

TJpegErrorState& StateOf(j_common_ptr Object) {
  return *static_cast<TJpegErrorState*>(Object->client_data);
}

void SetAbort(TJpegErrorState& State) {
  if (State.AbortFlag != nullptr) *State.AbortFlag = true;
}

void ErrorExit(j_common_ptr Object) {
  SetAbort(StateOf(Object));
  std::longjmp(StateOf(Object).Jump, 1);
}

// Warnings (level -1) are counted and their code kept at the moment they are emitted: by the
// end of a read the library's msg_code holds later trace codes. Nothing is ever printed.
void EmitMessage(j_common_ptr Object, int Level) {
  if (Level >= 0) return;
  ++Object->err->num_warnings;
  StateOf(Object).LastWarning = Object->err->msg_code;
}

void OutputMessage(j_common_ptr) {}

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool IsLength(char c) {
  return c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't';
}

}  // namespace

void InitJpegErrors(jpeg_common_struct& Object, TJpegErrorState& State, bool* AbortFlag) {
  jpeg_std_error(&State.Manager);
  State.Manager.error_exit = ErrorExit;
  State.Manager.emit_message = EmitMessage;
  State.Manager.output_message = OutputMessage;
  State.AbortFlag = AbortFlag;
  Object.err = &State.Manager;
  Object.client_data = &State;
}

std::string JpegMessageText(const jpeg_error_mgr& Manager, int Code) {
  const char* format = nullptr;
  if (Code >= 0 && Code <= Manager.last_jpeg_message && Manager.jpeg_message_table != nullptr)
    format = Manager.jpeg_message_table[Code];
  else if (Manager.addon_message_table != nullptr && Code >= Manager.first_addon_message &&
           Code <= Manager.last_addon_message)
    format = Manager.addon_message_table[Code - Manager.first_addon_message];
  if (format == nullptr) return "Corrupted";
  std::string text;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      text += *p;
      continue;
    }
    if (p[1] == '%') {  // a literal percent sign
      text += '%';
      ++p;
      continue;
    }
    const char* q = p + 1;
    while (IsFlag(*q)) ++q;
    while (*q == '*' || (*q >= '0' && *q <= '9')) ++q;
    if (*q == '.') {
      ++q;
      while (*q == '*' || (*q >= '0' && *q <= '9')) ++q;
    }
    while (IsLength(*q)) ++q;
    if (*q == '\0') {  // an unfinished conversion at the end is kept as text
      text.append(p);
      break;
    }
    text += '?';
    p = q;  // the conversion character
  }
  return text;
}

void LimitJpegMemory(jpeg_common_struct& Object) {
  const uint64_t available = platform::AvailablePhysicalMemory();
  if (available == 0 || Object.mem == nullptr) return;  // nothing known: the library's default
  Object.mem->max_memory_to_use = available > uint64_t(LONG_MAX) ? LONG_MAX : long(available);
}

void JpegJumpBack(jpeg_common_struct& Object) {
  TJpegErrorState& state = StateOf(&Object);
  SetAbort(state);
  std::longjmp(state.Jump, 1);
}

void ThrowJpegFailure(TJpegErrorState& State) {
  if (State.Pending) std::rethrow_exception(std::exchange(State.Pending, nullptr));
  throw EVLJpegException(JpegMessageText(State.Manager, State.Manager.msg_code));
}

// ---- Source manager ------------------------------------------------------------------------

namespace {

constexpr JOCTET kEndMarker[2] = {0xFF, JPEG_EOI};

TJpegSource& SourceOf(j_decompress_ptr Object) {
  return *reinterpret_cast<TJpegSource*>(Object->src);
}

void InitSource(j_decompress_ptr Object) { SourceOf(Object).StartOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr Object) {
  TJpegSource& src = SourceOf(Object);
  size_t count = 0;
  bool raised = false;
  try {
    count = src.Stream->Read(src.Buffer, kJpegStreamBuffer);
  } catch (...) {
    StateOf(reinterpret_cast<j_common_ptr>(Object)).Pending = std::current_exception();
    raised = true;
  }
  // Leave the handler before jumping: the exception now lives in Pending.
  if (raised) JpegJumpBack(*reinterpret_cast<j_common_ptr>(Object));
  if (count == 0) {
    if (src.StartOfFile) SetAbort(StateOf(reinterpret_cast<j_common_ptr>(Object)));
    src.Manager.next_input_byte = kEndMarker;
    src.Manager.bytes_in_buffer = sizeof kEndMarker;
    src.FedEndMarker = true;
  } else {
    src.Manager.next_input_byte = src.Buffer;
    src.Manager.bytes_in_buffer = count;
    src.FedEndMarker = false;
  }
  src.StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr Object, long Count) {
  if (Count <= 0) return;
  TJpegSource& src = SourceOf(Object);
  const size_t skip = size_t(Count);
  if (skip <= src.Manager.bytes_in_buffer) {
    src.Manager.next_input_byte += skip;
    src.Manager.bytes_in_buffer -= skip;
    return;
  }
  // Past the buffer: the stream itself moves on, at most to its end (a later read there
  // gives nothing, which feeds the end marker).
  const int64_t beyond = int64_t(skip - src.Manager.bytes_in_buffer);
  src.Manager.bytes_in_buffer = 0;
  if (src.FedEndMarker) return;
  bool raised = false;
  try {
    const int64_t here = src.Stream->Position(), size = src.Stream->Size();
    src.Stream->Seek(std::min(here + beyond, std::max(here, size)), soBeginning);
  } catch (...) {
    StateOf(reinterpret_cast<j_common_ptr>(Object)).Pending = std::current_exception();
    raised = true;
  }
  if (raised) JpegJumpBack(*reinterpret_cast<j_common_ptr>(Object));
}

void TermSource(j_decompress_ptr) {}

}  // namespace

TJpegSourceHolder::TJpegSourceHolder() : FBuffer(new uint8_t[kJpegStreamBuffer]) {
  FSource.Buffer = FBuffer.get();
  FSource.Manager.init_source = InitSource;
  FSource.Manager.fill_input_buffer = FillInputBuffer;
  FSource.Manager.skip_input_data = SkipInputData;
  FSource.Manager.resync_to_restart = jpeg_resync_to_restart;
  FSource.Manager.term_source = TermSource;
}

void TJpegSourceHolder::Attach(jpeg_decompress_struct& Object, TStream& Stream) {
  FSource.Stream = &Stream;
  FSource.StartOfFile = true;
  FSource.FedEndMarker = false;
  FSource.Manager.next_input_byte = nullptr;
  FSource.Manager.bytes_in_buffer = 0;
  Object.src = &FSource.Manager;
}

void TJpegSourceHolder::GiveBackUnread() {
  if (FSource.Stream == nullptr) return;
  if (!FSource.FedEndMarker && FSource.Manager.bytes_in_buffer > 0)
    FSource.Stream->Seek(-int64_t(FSource.Manager.bytes_in_buffer), soCurrent);
  FSource.Manager.bytes_in_buffer = 0;
  FSource.Manager.next_input_byte = nullptr;
}

// ---- Destination manager -----------------------------------------------------------------

namespace {

TJpegDestination& DestinationOf(j_compress_ptr Object) {
  return *reinterpret_cast<TJpegDestination*>(Object->dest);
}

void InitDestination(j_compress_ptr Object) {
  TJpegDestination& dst = DestinationOf(Object);
  dst.Manager.next_output_byte = dst.Buffer;
  dst.Manager.free_in_buffer = kJpegStreamBuffer;
}

// Writes the first Count bytes of the buffer; a short write sets the abort flag.
void Flush(j_compress_ptr Object, size_t Count) {
  TJpegDestination& dst = DestinationOf(Object);
  size_t written = 0;
  bool raised = false;
  try {
    written = Count == 0 ? 0 : dst.Stream->Write(dst.Buffer, Count);
  } catch (...) {
    StateOf(reinterpret_cast<j_common_ptr>(Object)).Pending = std::current_exception();
    raised = true;
  }
  if (raised) JpegJumpBack(*reinterpret_cast<j_common_ptr>(Object));
  if (written < Count) SetAbort(StateOf(reinterpret_cast<j_common_ptr>(Object)));
}

boolean EmptyOutputBuffer(j_compress_ptr Object) {
  Flush(Object, kJpegStreamBuffer);
  InitDestination(Object);
  return TRUE;
}

void TermDestination(j_compress_ptr Object) {
  TJpegDestination& dst = DestinationOf(Object);
  Flush(Object, kJpegStreamBuffer - dst.Manager.free_in_buffer);
  InitDestination(Object);
}

}  // namespace

TJpegDestinationHolder::TJpegDestinationHolder() : FBuffer(new uint8_t[kJpegStreamBuffer]) {
  FDestination.Buffer = FBuffer.get();
  FDestination.Manager.init_destination = InitDestination;
  FDestination.Manager.empty_output_buffer = EmptyOutputBuffer;
  FDestination.Manager.term_destination = TermDestination;
}

void TJpegDestinationHolder::Attach(jpeg_compress_struct& Object, TStream& Stream) {
  FDestination.Stream = &Stream;
  Object.dest = &FDestination.Manager;
}
