#pragma once
// The base of the shell link and the change notifier: a component that can be switched on
// and off. Derived classes react to the switch by overriding SetEnabledValue.

#include "platform/object.h"

class TOrvikBaseComponent : public TComponent {
 public:
  explicit TOrvikBaseComponent(TComponent* Owner = nullptr) : TComponent(Owner) {}
  bool Enabled() const { return GetEnabled(); }
  void SetEnabled(bool Value) { SetEnabledValue(Value); }

 protected:
  virtual bool GetEnabled() const { return FEnabled; }
  virtual void SetEnabledValue(bool Value) { FEnabled = Value; }

  bool FEnabled = true;
};
