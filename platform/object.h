#pragma once
// The small component model the system's classes share: a root object that senders are
// passed as, and a component with an owner. Owners keep the components they own in
// std::unique_ptr members (or Qt parents for widgets); the owner pointer is informational.

#include <functional>

class TObject {
 public:
  virtual ~TObject() = default;
};

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr) : FOwner(owner) {}
  TComponent* Owner() const { return FOwner; }

 private:
  TComponent* FOwner;
};

// An event whose only argument is the object that fires it.
using TNotifyEvent = std::function<void(TObject* Sender)>;
