#pragma once
// The Qt side of the platform's user-interface services: servicing the event queue, modal
// message boxes owned by the main window and opening folders in the desktop shell. Also the
// guard that keeps exceptions from unwinding through Qt's event loop.

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace platform::qt {

// The title of every message box the program shows.
extern const char* const kApplicationTitle;

// Installs UiHooks that use Qt: ProcessMessages services the event queue once, ShowMessage
// shows a modal information box with an OK button over mainWindow (which may be null),
// OpenFolder opens the folder in the desktop shell. Only the program calls this; tests
// install hooks of their own so that no message box blocks them.
void InstallQtUiHooks(QWidget* mainWindow);

// Shows the message of an exception that reached an event handler, through the platform's
// ShowMessage, so tests that capture messages see it too.
void ShowException(const std::exception& e);
void ShowUnknownException();

// Runs a handler body and shows any exception it raises instead of letting it escape into
// Qt's event loop. Returns true when the body finished without an exception.
bool GuardedCall(const std::function<void()>& body);

}  // namespace platform::qt
