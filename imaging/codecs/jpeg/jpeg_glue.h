#pragma once
// What sits between the JPEG library (libjpeg-turbo through its libjpeg 6.2 interface) and our
// code: the error manager, the source and destination managers on our streams, and the
// guarded call that keeps errors from unwinding through the library's C frames.
//
// A library error calls error_exit, which sets the caller's abort flag and longjmps back to
// the JpegCall that made the library call; only there, in our own frame, is the error turned
// into an EVLJpegException. A stream callback that raises stores its exception, longjmps the
// same way, and JpegCall rethrows that exception with its own type.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <exception>
#include <memory>
#include <string>

#include <jpeglib.h>

class TStream;

// Buffer size of the source and destination managers.
constexpr size_t kJpegStreamBuffer = 65536;

// The state behind a library object's err pointer (reached through client_data).
struct TJpegErrorState {
  jpeg_error_mgr Manager{};
  std::jmp_buf Jump;
  bool* AbortFlag = nullptr;        // the caller's flag, set on every failure
  std::exception_ptr Pending;       // an exception raised inside a stream callback
  int32_t LastWarning = 0;          // the message code of the last warning emitted
};

// Points Object's error manager at State: warnings are counted (num_warnings) and their code
// kept, nothing is printed, errors longjmp. Call before jpeg_create_(de)compress.
void InitJpegErrors(jpeg_common_struct& Object, TJpegErrorState& State, bool* AbortFlag);

// The message of a library code: the library's message table entry with every printf
// conversion (flags, width, precision and length included) replaced by "?", or "Corrupted"
// for a code outside the table.
std::string JpegMessageText(const jpeg_error_mgr& Manager, int Code);

// Lets the library use at most the memory the system reports available, so that a crafted
// header asking for gigabytes fails through error_exit instead of exhausting memory.
void LimitJpegMemory(jpeg_common_struct& Object);

// Jumps back to the active JpegCall (used by the callbacks after storing an exception).
[[noreturn]] void JpegJumpBack(jpeg_common_struct& Object);

// Runs Call, which must only call the library (no objects with destructors of its own), with
// error_exit returning here. False after a library error or a callback exception.
template <typename F>
bool JpegTry(TJpegErrorState& State, F&& Call) {
  if (setjmp(State.Jump) != 0) return false;
  Call();
  return true;
}

// After JpegTry failed: rethrows the stored callback exception, or raises EVLJpegException
// with the text of the library's message code.
[[noreturn]] void ThrowJpegFailure(TJpegErrorState& State);

// JpegTry that raises on failure.
template <typename F>
void JpegCall(TJpegErrorState& State, F&& Call) {
  if (!JpegTry(State, Call)) ThrowJpegFailure(State);
}

// Source manager on a stream. An exhausted stream feeds FF D9 (an end-of-image marker), so the
// library ends the image with its own warning instead of an error; empty data at the very
// start also sets the abort flag.
struct TJpegSource {
  jpeg_source_mgr Manager{};  // first: the library's src pointer is this object
  TStream* Stream = nullptr;
  uint8_t* Buffer = nullptr;  // kJpegStreamBuffer bytes, owned by the holder below
  bool StartOfFile = true;
  bool FedEndMarker = false;  // the buffer holds our two bytes, not stream data
};

// Owns a source manager and its buffer and installs it on a decompression object.
class TJpegSourceHolder {
 public:
  TJpegSourceHolder();
  // Makes Object read from Stream, starting with an empty buffer.
  void Attach(jpeg_decompress_struct& Object, TStream& Stream);
  // Moves the stream back over bytes that were read ahead but not consumed, so that it
  // stands just after the data the library used.
  void GiveBackUnread();

 private:
  std::unique_ptr<uint8_t[]> FBuffer;
  TJpegSource FSource;
};

// Destination manager on a stream: a stream that takes fewer bytes than offered sets the
// abort flag.
struct TJpegDestination {
  jpeg_destination_mgr Manager{};  // first: the library's dest pointer is this object
  TStream* Stream = nullptr;
  uint8_t* Buffer = nullptr;
};

class TJpegDestinationHolder {
 public:
  TJpegDestinationHolder();
  void Attach(jpeg_compress_struct& Object, TStream& Stream);

 private:
  std::unique_ptr<uint8_t[]> FBuffer;
  TJpegDestination FDestination;
};
