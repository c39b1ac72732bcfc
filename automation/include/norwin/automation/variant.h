// Variant: one value of the automation types the system uses, tagged with its
// VT_ code, because `window.external` and the record classes check exact
// types.
//
// Scalars live inside the Variant (16 bytes, no heap). Strings are UTF-8 and
// shared between copies (copying a string Variant adds a reference, it never
// copies the text); a null string (BSTR NULL, `Variant::NullString()`) is
// distinct from "" and reads as "". An object Variant holds a reference to an
// Object; a null one is Nothing.
//
// A by-reference Variant (VT_BYREF combined with a type) points at storage
// that the caller owns and that must outlive it: another Variant (0x400C) or
// a typed slot (0x400B, a bool). Members write out-arguments through it with
// AssignThroughRef. Copies of a by-reference Variant point at the same slot.
//
// An array Variant (VT_ARRAY | VT_VARIANT) holds a one-dimensional array of
// Variants with lower bound 0, as a Dictionary's Keys and Items return it.
// Its elements never change after it is made, so copies share them.
#pragma once

#include <atomic>
#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "norwin/automation/date.h"
#include "norwin/automation/error.h"
#include "norwin/automation/export.h"
#include "norwin/automation/object.h"

namespace norwin::automation {

using VarType = uint16_t;
inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_NULL = 1;
inline constexpr VarType VT_I2 = 2;
inline constexpr VarType VT_I4 = 3;
inline constexpr VarType VT_R8 = 5;
inline constexpr VarType VT_DATE = 7;
inline constexpr VarType VT_BSTR = 8;
inline constexpr VarType VT_DISPATCH = 9;
inline constexpr VarType VT_ERROR = 10;
inline constexpr VarType VT_BOOL = 11;
inline constexpr VarType VT_VARIANT = 12;  // only combined with VT_BYREF
inline constexpr VarType VT_UI1 = 17;
inline constexpr VarType VT_ARRAY = 0x2000;  // only combined with VT_VARIANT
inline constexpr VarType VT_BYREF = 0x4000;
inline constexpr VarType VT_TYPEMASK = 0x0FFF;

namespace internal {
// The shared text of string Variants.
struct StringRep {
  std::atomic<int32_t> refs;
  std::string text;
};
// The shared elements of array Variants (defined in variant.cc).
struct ArrayRep;
}  // namespace internal

class NORWIN_AUTOMATION_EXPORT Variant {
 public:
  // Empty.
  Variant() noexcept : vt_(VT_EMPTY), bits_(0) {}
  template <typename B>
  requires std::same_as<B, bool> Variant(B value)
  noexcept : vt_(VT_BOOL), bits_(0) {  // NOLINT: values convert implicitly.
    bool_ = value;
  }
  Variant(int16_t value) noexcept : vt_(VT_I2), bits_(0) { i2_ = value; }       // NOLINT
  Variant(int32_t value) noexcept : vt_(VT_I4), bits_(0) { i4_ = value; }       // NOLINT
  Variant(uint8_t value) noexcept : vt_(VT_UI1), bits_(0) { ui1_ = value; }     // NOLINT
  Variant(double value) noexcept : vt_(VT_R8), bits_(0) { r8_ = value; }        // NOLINT
  Variant(Date value) noexcept : vt_(VT_DATE), bits_(0) { r8_ = value.value; }  // NOLINT
  Variant(std::string value);                                                   // NOLINT
  Variant(std::string_view value) : Variant(std::string(value)) {}              // NOLINT
  // A null pointer gives the null string.
  Variant(const char* value);  // NOLINT
  // An object (a null pointer is Nothing).
  template <typename T>
  requires std::derived_from<T, Object> Variant(T* object)
  noexcept : vt_(VT_DISPATCH), bits_(0) {  // NOLINT
    obj_ = object;
    if (obj_) obj_->AddRef();
  }
  template <typename T>
  requires std::derived_from<T, Object> Variant(const Ref<T>& object)
  noexcept : Variant(object.get()) {}  // NOLINT
  template <typename T>
  requires std::derived_from<T, Object> Variant(Ref<T>&& object)
  noexcept : vt_(VT_DISPATCH), bits_(0) {  // NOLINT
    obj_ = object.Detach();
  }
  // Ambiguous between Nothing, Null and the null string: say which.
  Variant(std::nullptr_t) = delete;

  static Variant Null() noexcept { return Variant(VT_NULL); }
  static Variant NullString() noexcept { return Variant(VT_BSTR); }
  static Variant Nothing() noexcept { return Variant(VT_DISPATCH); }
  // The marker of an optional argument the caller left out
  // (VT_ERROR, DISP_E_PARAMNOTFOUND).
  static Variant Missing() noexcept { return Error(DISP_E_PARAMNOTFOUND); }
  // A one-dimensional array (lower bound 0) of `items`, which must not be
  // references.
  static Variant Array(std::vector<Variant> items);
  static Variant Error(HResult scode) noexcept {
    Variant v(VT_ERROR);
    v.i4_ = scode;
    return v;
  }

  // By-reference Variants: `target` must outlive the Variant and its copies.
  static Variant ByRef(Variant* target) noexcept { return MakeByRef(VT_VARIANT, target); }
  static Variant ByRef(bool* target) noexcept { return MakeByRef(VT_BOOL, target); }
  static Variant ByRef(int16_t* target) noexcept { return MakeByRef(VT_I2, target); }
  static Variant ByRef(int32_t* target) noexcept { return MakeByRef(VT_I4, target); }
  static Variant ByRef(uint8_t* target) noexcept { return MakeByRef(VT_UI1, target); }
  static Variant ByRef(double* target) noexcept { return MakeByRef(VT_R8, target); }
  static Variant ByRef(Date* target) noexcept { return MakeByRef(VT_DATE, target); }
  // A string slot cannot hold the null string; writing one stores "".
  static Variant ByRef(std::string* target) noexcept { return MakeByRef(VT_BSTR, target); }

  Variant(const Variant& other) noexcept : vt_(other.vt_), bits_(other.bits_) { AddRefPayload(); }
  Variant(Variant&& other) noexcept : vt_(other.vt_), bits_(other.bits_) {
    other.vt_ = VT_EMPTY;
    other.bits_ = 0;
  }
  Variant& operator=(const Variant& other) noexcept {
    Variant(other).swap(*this);
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    Variant(std::move(other)).swap(*this);
    return *this;
  }
  ~Variant() { ReleasePayload(); }

  void swap(Variant& other) noexcept {
    std::swap(vt_, other.vt_);
    std::swap(bits_, other.bits_);
  }

  VarType type() const noexcept { return vt_; }

  bool IsEmpty() const noexcept { return vt_ == VT_EMPTY; }
  bool IsNull() const noexcept { return vt_ == VT_NULL; }
  bool IsString() const noexcept { return vt_ == VT_BSTR; }
  bool IsNullString() const noexcept { return vt_ == VT_BSTR && str_ == nullptr; }
  bool IsObject() const noexcept { return vt_ == VT_DISPATCH; }
  bool IsNothing() const noexcept { return vt_ == VT_DISPATCH && obj_ == nullptr; }
  bool IsMissing() const noexcept { return vt_ == VT_ERROR && i4_ == DISP_E_PARAMNOTFOUND; }
  bool IsByRef() const noexcept { return (vt_ & VT_BYREF) != 0; }
  bool IsArray() const noexcept { return vt_ == (VT_ARRAY | VT_VARIANT); }
  // Boolean, the integers, Double and Date: what the language compares as
  // numbers.
  bool IsNumeric() const noexcept;

  // The value of a Variant of the matching type; anything else is a
  // programming error (checked in debug builds).
  bool bool_value() const noexcept;
  int16_t i2() const noexcept;
  int32_t i4() const noexcept;
  uint8_t ui1() const noexcept;
  double r8() const noexcept;
  Date date() const noexcept;
  HResult scode() const noexcept;
  // The text of a string Variant; "" for the null string.
  const std::string& string() const noexcept;
  // The object of an object Variant; null for Nothing.
  Object* object() const noexcept;
  // The elements of an array Variant.
  std::span<const Variant> array() const noexcept;
  // The target of a by-reference Variant.
  Variant* variant_ref() const noexcept;
  void* ref_target() const noexcept;

  // The value this Variant stands for: a copy of itself, or of what its
  // by-reference target holds (followed through nested references).
  Variant Deref() const;

  // For a Variant that refers to another Variant (directly or through nested
  // references), that Variant; for any other, this one. Typed slots are not
  // Variants: use Deref for them.
  const Variant& Resolve() const noexcept;

  // Stores `value` in the slot a by-reference Variant points at: a Variant
  // slot takes the value itself (its own references followed), a typed slot
  // the value converted to its type (AutomationError 13 or 6 when it does not
  // convert, 94 for Null). Throws AutomationError 5 when this Variant is not
  // a reference.
  void AssignThroughRef(const Variant& value) const;

  // Exact sameness, for tests and caches: same type and same value (strings by
  // text, the null string apart from "", objects and references by identity).
  // The language's comparison is Compare in convert.h.
  friend NORWIN_AUTOMATION_EXPORT bool operator==(const Variant& a, const Variant& b) noexcept;

  // "VT_BSTR \"abc\"", "VT_I4 42": for logs and test failures.
  std::string DebugString() const;

 private:
  explicit Variant(VarType vt) noexcept : vt_(vt), bits_(0) {}
  static Variant MakeByRef(VarType type, void* target) noexcept {
    Variant v(static_cast<VarType>(VT_BYREF | type));
    v.ref_ = target;
    return v;
  }
  void AddRefPayload() const noexcept {
    if (vt_ == VT_BSTR) {
      if (str_) str_->refs.fetch_add(1, std::memory_order_relaxed);
    } else if (vt_ == VT_DISPATCH) {
      if (obj_) obj_->AddRef();
    } else if (vt_ == (VT_ARRAY | VT_VARIANT)) {
      AddRefArray(arr_);
    }
  }
  void ReleasePayload() noexcept {
    if (vt_ == VT_BSTR) {
      if (str_) ReleaseString(str_);
    } else if (vt_ == VT_DISPATCH) {
      if (obj_) obj_->Release();
    } else if (vt_ == (VT_ARRAY | VT_VARIANT)) {
      ReleaseArray(arr_);
    }
  }
  static void ReleaseString(internal::StringRep* rep) noexcept;
  static void AddRefArray(internal::ArrayRep* rep) noexcept;
  static void ReleaseArray(internal::ArrayRep* rep) noexcept;

  VarType vt_;
  union {
    uint64_t bits_;
    bool bool_;
    int16_t i2_;
    int32_t i4_;
    uint8_t ui1_;
    double r8_;
    internal::StringRep* str_;
    Object* obj_;
    void* ref_;
    internal::ArrayRep* arr_;
  };
};

static_assert(sizeof(Variant) == 16);

// gtest and logs print Variants through this.
NORWIN_AUTOMATION_EXPORT void PrintTo(const Variant& value, std::ostream* os);

}  // namespace norwin::automation
