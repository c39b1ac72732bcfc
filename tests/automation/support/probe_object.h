// An Object that reports its destruction, for tests of reference lifetimes.
#pragma once

#include "norwin/automation/object.h"

namespace norwin::automation::testing {

class ProbeObject : public Object {
 public:
  explicit ProbeObject(int* destroyed) : destroyed_(destroyed) {}
  std::string_view TypeName() const override { return "Probe"; }

 protected:
  ~ProbeObject() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

}  // namespace norwin::automation::testing
