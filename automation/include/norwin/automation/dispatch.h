// Calling automation objects: by name (CallByName), enumerating them
// (Enumerator, the `_NewEnum` protocol behind `for each` and the script
// `Enumerator`), and the checks callers make on Variants that should hold
// objects.
//
// Object and the dispatch interface itself are in object.h; the binder
// (binder.h) implements that interface for a C++ class from a member table.
// Errors travel as AutomationError (error.h): a name the object does not
// have is runtime error 438 "Object doesn't support this property or method"
// (0x800A01B6), as a script host shows it, with the object's type name as the
// source.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "norwin/automation/export.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::automation {

// Invokes the member `name` (any case) of `object` and returns its value
// (Empty for a member without one). `flags` as for Object::Invoke; args in
// call order, a property put's new value last. Throws AutomationError.
NORWIN_AUTOMATION_EXPORT Variant CallByName(Object& object, std::string_view name,
                                            InvokeFlags flags, std::span<const Variant> args = {});
NORWIN_AUTOMATION_EXPORT Variant CallByName(Object& object, std::string_view name,
                                            InvokeFlags flags, std::initializer_list<Variant> args);

// The object a Variant holds (by-reference ones followed). Throws
// AutomationError 424 "Object required" when it holds no object and 91
// "Object variable or With block variable not set" when it holds Nothing.
NORWIN_AUTOMATION_EXPORT Object& RequireObject(const Variant& value);

// An enumeration in progress over the items of a collection. Next and Reset
// have the semantics of the platform's enumerators: Next hands out the items
// in order, Reset starts again from the first.
class NORWIN_AUTOMATION_EXPORT Enumerator : public Object {
 public:
  // Stores the next item in `*item` and returns true; returns false, leaving
  // `*item` alone, when there is none left.
  virtual bool Next(Variant* item) = 0;
  virtual void Reset() = 0;

  Enumerator* AsEnumerator() noexcept override { return this; }
  std::string_view TypeName() const override;
};

// An enumerator over a copy of `items`: later changes to the collection do
// not disturb an enumeration in progress.
NORWIN_AUTOMATION_EXPORT Ref<Enumerator> MakeSnapshotEnumerator(std::vector<Variant> items);

// The enumerator of `object`: the object itself when it is one, else the one
// its DISPID_NEWENUM member returns. Throws AutomationError 438 when it has
// none (the object is not a collection).
NORWIN_AUTOMATION_EXPORT Ref<Enumerator> GetEnumerator(Object& object);

// A C++ range over an enumeration: `for (const Variant& item : Enumerate(obj))`.
class NORWIN_AUTOMATION_EXPORT EnumRange {
 public:
  class Iterator {
   public:
    const Variant& operator*() const { return item_; }
    const Variant* operator->() const { return &item_; }
    Iterator& operator++() {
      Advance();
      return *this;
    }
    bool operator==(const Iterator& other) const { return enumerator_ == other.enumerator_; }

   private:
    friend class EnumRange;
    explicit Iterator(Enumerator* enumerator) : enumerator_(enumerator) { Advance(); }
    Iterator() = default;
    void Advance() {
      if (enumerator_ && !enumerator_->Next(&item_)) enumerator_ = nullptr;
    }
    Enumerator* enumerator_ = nullptr;
    Variant item_;
  };

  explicit EnumRange(Ref<Enumerator> enumerator) : enumerator_(std::move(enumerator)) {}
  // Begins where the enumerator stands; a range is walked once.
  Iterator begin() const { return Iterator(enumerator_.get()); }
  Iterator end() const { return Iterator(); }

 private:
  Ref<Enumerator> enumerator_;
};

inline EnumRange Enumerate(Object& object) { return EnumRange(GetEnumerator(object)); }

}  // namespace norwin::automation
