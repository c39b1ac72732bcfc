#include "norwin/automation/variant.h"

#include <cassert>
#include <charconv>
#include <ostream>

#include "norwin/automation/convert.h"

namespace norwin::automation {

namespace internal {
struct ArrayRep {
  std::atomic<int32_t> refs;
  std::vector<Variant> items;
};
}  // namespace internal

namespace {

// "" is common (empty record fields); all empty strings share one text that
// is never freed, so making one costs no allocation.
internal::StringRep* EmptyStringRep() {
  static internal::StringRep* const rep = new internal::StringRep{{1}, {}};
  return rep;
}

}  // namespace

Variant::Variant(std::string value) : vt_(VT_BSTR), bits_(0) {
  if (value.empty()) {
    str_ = EmptyStringRep();
    str_->refs.fetch_add(1, std::memory_order_relaxed);
  } else {
    str_ = new internal::StringRep{{1}, std::move(value)};
  }
}

Variant::Variant(const char* value) : vt_(VT_BSTR), bits_(0) {
  if (value) Variant(std::string(value)).swap(*this);
}

void Variant::ReleaseString(internal::StringRep* rep) noexcept {
  if (rep->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete rep;
}

Variant Variant::Array(std::vector<Variant> items) {
  Variant v(static_cast<VarType>(VT_ARRAY | VT_VARIANT));
  v.arr_ = new internal::ArrayRep{{1}, std::move(items)};
  return v;
}

void Variant::AddRefArray(internal::ArrayRep* rep) noexcept {
  rep->refs.fetch_add(1, std::memory_order_relaxed);
}

void Variant::ReleaseArray(internal::ArrayRep* rep) noexcept {
  if (rep->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete rep;
}

std::span<const Variant> Variant::array() const noexcept {
  assert(IsArray());
  return arr_->items;
}

bool Variant::IsNumeric() const noexcept {
  switch (vt_) {
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R8:
    case VT_DATE:
      return true;
    default:
      return false;
  }
}

bool Variant::bool_value() const noexcept {
  assert(vt_ == VT_BOOL);
  return bool_;
}
int16_t Variant::i2() const noexcept {
  assert(vt_ == VT_I2);
  return i2_;
}
int32_t Variant::i4() const noexcept {
  assert(vt_ == VT_I4);
  return i4_;
}
uint8_t Variant::ui1() const noexcept {
  assert(vt_ == VT_UI1);
  return ui1_;
}
double Variant::r8() const noexcept {
  assert(vt_ == VT_R8);
  return r8_;
}
Date Variant::date() const noexcept {
  assert(vt_ == VT_DATE);
  return Date{r8_};
}
HResult Variant::scode() const noexcept {
  assert(vt_ == VT_ERROR);
  return i4_;
}
const std::string& Variant::string() const noexcept {
  assert(vt_ == VT_BSTR);
  static const std::string kNullText;
  return str_ ? str_->text : kNullText;
}
Object* Variant::object() const noexcept {
  assert(vt_ == VT_DISPATCH);
  return obj_;
}
Variant* Variant::variant_ref() const noexcept {
  assert(vt_ == (VT_BYREF | VT_VARIANT));
  return static_cast<Variant*>(ref_);
}
void* Variant::ref_target() const noexcept {
  assert(IsByRef());
  return ref_;
}

const Variant& Variant::Resolve() const noexcept {
  const Variant* v = this;
  while (v->vt_ == (VT_BYREF | VT_VARIANT)) v = static_cast<const Variant*>(v->ref_);
  return *v;
}

Variant Variant::Deref() const {
  const Variant& v = Resolve();
  if (!v.IsByRef()) return v;
  switch (v.vt_ & VT_TYPEMASK) {
    case VT_BOOL:
      return Variant(*static_cast<bool*>(v.ref_));
    case VT_I2:
      return Variant(*static_cast<int16_t*>(v.ref_));
    case VT_I4:
      return Variant(*static_cast<int32_t*>(v.ref_));
    case VT_UI1:
      return Variant(*static_cast<uint8_t*>(v.ref_));
    case VT_R8:
      return Variant(*static_cast<double*>(v.ref_));
    case VT_DATE:
      return Variant(*static_cast<Date*>(v.ref_));
    case VT_BSTR:
      return Variant(*static_cast<std::string*>(v.ref_));
  }
  // Only the factories make references, and they make no other kind.
  assert(false);
  return Variant();
}

void Variant::AssignThroughRef(const Variant& value) const {
  if (!IsByRef()) throw RuntimeError(kInvalidProcedureCall);
  const Variant* ref = this;
  while (ref->vt_ == (VT_BYREF | VT_VARIANT)) {
    Variant* target = static_cast<Variant*>(ref->ref_);
    if (!target->IsByRef()) {
      // The Variant slot takes the value itself, never a reference to
      // something else, so that it cannot outlive what it would point at.
      *target = value.Deref();
      return;
    }
    ref = target;
  }
  void* target = ref->ref_;
  switch (ref->vt_ & VT_TYPEMASK) {
    case VT_BOOL:
      *static_cast<bool*>(target) = ToBool(value);
      break;
    case VT_I2:
      *static_cast<int16_t*>(target) = ToInt16(value);
      break;
    case VT_I4:
      *static_cast<int32_t*>(target) = ToInt32(value);
      break;
    case VT_UI1:
      *static_cast<uint8_t*>(target) = ToByte(value);
      break;
    case VT_R8:
      *static_cast<double*>(target) = ToDouble(value);
      break;
    case VT_DATE:
      *static_cast<Date*>(target) = ToDate(value);
      break;
    case VT_BSTR:
      *static_cast<std::string*>(target) = ToString(value);
      break;
    default:
      assert(false);
  }
}

bool operator==(const Variant& a, const Variant& b) noexcept {
  if (a.vt_ != b.vt_) return false;
  switch (a.vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_BOOL:
      return a.bool_ == b.bool_;
    case VT_I2:
      return a.i2_ == b.i2_;
    case VT_I4:
    case VT_ERROR:
      return a.i4_ == b.i4_;
    case VT_UI1:
      return a.ui1_ == b.ui1_;
    case VT_R8:
    case VT_DATE:
      return a.r8_ == b.r8_;
    case VT_BSTR:
      if (a.str_ == nullptr || b.str_ == nullptr) return a.str_ == b.str_;
      return a.str_->text == b.str_->text;
    case VT_DISPATCH:
      return a.obj_ == b.obj_;
    default:
      return a.ref_ == b.ref_;
  }
}

std::string Variant::DebugString() const {
  auto number = [](auto n) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
    return std::string(buf, end);
  };
  switch (vt_) {
    case VT_EMPTY:
      return "VT_EMPTY";
    case VT_NULL:
      return "VT_NULL";
    case VT_BOOL:
      return bool_ ? "VT_BOOL True" : "VT_BOOL False";
    case VT_I2:
      return "VT_I2 " + number(i2_);
    case VT_I4:
      return "VT_I4 " + number(i4_);
    case VT_UI1:
      return "VT_UI1 " + number(ui1_);
    case VT_R8:
      return "VT_R8 " + number(r8_);
    case VT_DATE:
      return "VT_DATE " + number(r8_);
    case VT_ERROR:
      return "VT_ERROR " + number(static_cast<uint32_t>(i4_));
    case VT_BSTR:
      return str_ ? "VT_BSTR \"" + str_->text + "\"" : "VT_BSTR null";
    case VT_DISPATCH:
      return obj_ ? "VT_DISPATCH " + std::string(obj_->TypeName()) : "VT_DISPATCH Nothing";
    case VT_ARRAY | VT_VARIANT:
      return "VT_ARRAY|VT_VARIANT (" + number(arr_->items.size()) + ")";
    default:
      return "VT_BYREF|" + number(vt_ & VT_TYPEMASK);
  }
}

void PrintTo(const Variant& value, std::ostream* os) { *os << value.DebugString(); }

}  // namespace norwin::automation
