#pragma once
// What sits between libpng and our code: the stream callbacks, the message handlers and the
// guarded call that keeps errors from unwinding through the library's C frames.
//
// A library error calls our error handler, which keeps the message and longjmps back to the
// PngTry that made the library call; only there, in our own frame, does the caller decide
// between the abort flag and an exception. A stream callback that raises stores its
// exception first and then raises a library error the same way. Nothing is ever printed.

#include <png.h>

#include <csetjmp>
#include <exception>
#include <string>

class TStream;

// The state behind a library object's error and io pointers.
struct TPngState {
  TStream* Stream = nullptr;
  std::exception_ptr Pending;  // an exception raised by the stream inside a callback
  bool ShortIO = false;        // the stream gave or took fewer bytes than asked
  std::string Message;         // the library's last error message
};

// The structures of one read or write, destroyed with the holder (also on unwinding).
class TPngObjects {
 public:
  explicit TPngObjects(bool Write) : FWrite(Write) {}
  ~TPngObjects() { Destroy(); }
  TPngObjects(const TPngObjects&) = delete;
  TPngObjects& operator=(const TPngObjects&) = delete;

  // Creates both structures with our handlers and stream callbacks on State; false when the
  // library cannot create them.
  bool Create(TPngState& State);
  void Destroy();

  png_structp Png = nullptr;
  png_infop Info = nullptr;

 private:
  bool FWrite;
};

// Runs Call, which must only call the library (no objects with destructors of its own), with
// library errors returning here. False after a library error or a callback exception; the
// structures may then only be destroyed.
template <typename F>
bool PngTry(png_structp Png, F&& Call) {
  if (setjmp(png_jmpbuf(Png)) != 0) return false;
  Call();
  return true;
}
