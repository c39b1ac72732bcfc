// Object, the base of every automation object, and Ref<T>, the handle that
// owns one.
//
// An Object counts its references itself (AddRef/Release, as COM objects do),
// so that C++ owners, Variants and script wrappers can share it: it is deleted
// when the last reference goes. It starts with no references; create objects
// with MakeRef<T>(...), which hands out the first one. Never delete an Object
// directly or keep one on the stack while a Ref to it may exist.
//
// Its dispatch interface (FindMember, Invoke) is what callers use to reach
// members by name: the script bridge, CallByName (dispatch.h) and the record
// classes calling each other through Variants. Classes get it without
// writing dispatch code through the binder (binder.h).
//
// One thread at a time calls an object, as in a single-threaded apartment;
// only the reference count is safe to touch from other threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "norwin/automation/export.h"

namespace norwin::automation {

class Variant;
class Enumerator;

using DispId = int32_t;
// The default member (`obj(1)` means `obj.Item(1)` for a collection).
inline constexpr DispId DISPID_VALUE = 0;
// What FindMember answers for a name the object does not have.
inline constexpr DispId DISPID_UNKNOWN = -1;
// The enumeration member (`_NewEnum`), behind `for each` and `Enumerator`.
inline constexpr DispId DISPID_NEWENUM = -4;

// How a member is invoked; a call from script may combine METHOD and
// PROPERTYGET.
using InvokeFlags = uint16_t;
inline constexpr InvokeFlags DISPATCH_METHOD = 1;
inline constexpr InvokeFlags DISPATCH_PROPERTYGET = 2;
inline constexpr InvokeFlags DISPATCH_PROPERTYPUT = 4;
inline constexpr InvokeFlags DISPATCH_PROPERTYPUTREF = 8;

// What a member is, so that a script bridge can tell `obj.Count` (a property
// read) from `obj.Load` (a function to call).
enum class MemberKind : uint8_t {
  kNone,      // no such member
  kMethod,    // called with arguments (also a property that needs an index)
  kProperty,  // read without arguments, perhaps written
};

class NORWIN_AUTOMATION_EXPORT Object {
 public:
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  void AddRef() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t RefCountForTesting() const { return refs_.load(std::memory_order_relaxed); }

  // The dispatch id of the member `name`, compared without regard to case;
  // DISPID_UNKNOWN when there is none (the dispatch-level DISP_E_UNKNOWNNAME).
  virtual DispId FindMember(std::string_view name) const;

  // Invokes member `id`. `args` are in call order; for a property put the new
  // value is the last one. A by-reference argument (VT_BYREF) may be written
  // through. A missing optional argument is either absent from the end of
  // `args` or Variant::Missing(). `result` receives the member's value and
  // may be null when the caller does not want it.
  // Failures throw AutomationError: runtime error 438 for a member the object
  // does not have or cannot invoke that way, 449/450 for missing or surplus
  // arguments, 13/6 for arguments that do not convert, and whatever the
  // member itself raises.
  virtual void Invoke(DispId id, InvokeFlags flags, std::span<const Variant> args, Variant* result);

  // What member `id` is; kNone when the object does not say.
  virtual MemberKind KindOf(DispId id) const;

  // The class name, used as the source of errors ("Students").
  virtual std::string_view TypeName() const;

  // The enumerator behind this object when it is one (see dispatch.h).
  virtual Enumerator* AsEnumerator() noexcept { return nullptr; }

 protected:
  Object() = default;
  virtual ~Object();

 private:
  mutable std::atomic<int32_t> refs_{0};
};

// An owning handle to an Object (or a class derived from it). Copying adds a
// reference, destruction releases one. A default Ref is null ("Nothing").
template <typename T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}  // NOLINT: a null handle reads naturally as nullptr.
  // Takes a new reference to `ptr` (which may be null).
  explicit Ref(T* ptr) : ptr_(ptr) {
    if (ptr_) ptr_->AddRef();
  }
  Ref(const Ref& other) : Ref(other.ptr_) {}
  Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <typename U>
  requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other)
      : Ref(other.get()) {}  // NOLINT: as pointers convert.
  template <typename U>
  requires std::is_convertible_v<U*, T*> Ref(Ref<U>&& other)
  noexcept : ptr_(other.Detach()) {}  // NOLINT
  ~Ref() {
    if (ptr_) ptr_->Release();
  }
  Ref& operator=(Ref other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  // Wraps `ptr` without adding a reference: the Ref takes over one the caller
  // already holds.
  static Ref Adopt(T* ptr) {
    Ref r;
    r.ptr_ = ptr;
    return r;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(ptr_, nullptr); }
  void reset() { Ref().swap(*this); }
  void swap(Ref& other) noexcept { std::swap(ptr_, other.ptr_); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  template <typename U>
  bool operator==(const Ref<U>& other) const {
    return ptr_ == other.get();
  }
  bool operator==(std::nullptr_t) const { return ptr_ == nullptr; }

 private:
  T* ptr_ = nullptr;
};

// Creates a T and returns the first reference to it.
template <typename T, typename... A>
Ref<T> MakeRef(A&&... args) {
  return Ref<T>(new T(std::forward<A>(args)...));
}

}  // namespace norwin::automation
