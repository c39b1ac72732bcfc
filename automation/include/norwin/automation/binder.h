// The binder: exposes a C++ class's methods and properties to dispatch by
// name and by dispid, without hand-written dispatch code per class.
//
// A bound class derives from Object, says NORWIN_BOUND_CLASS() in its public
// section, and lists its members once, in its .cc file, inside the namespace
// of the class:
//
//   class Students : public Object {
//    public:
//     NORWIN_BOUND_CLASS();
//     bool Load(const std::string& filename, const Variant& courses);
//     int32_t Count() const;
//     std::string Name() const;
//     void SetName(std::string name);
//     bool Validate(const Variant& courses, OutArg<> code, OutArg<> text);
//     Variant Item(const Variant& index);
//     Ref<Enumerator> NewEnum();
//   };
//
//   NORWIN_CLASS(Students) {
//     Method("Load", &Students::Load, Optional("Courses", Variant::Null()));
//     Property("Count", &Students::Count);
//     PropertyRW("Name", &Students::Name, &Students::SetName);
//     Method("Validate", &Students::Validate);
//     Property("Item", &Students::Item).Default();
//     NewEnum(&Students::NewEnum);
//   }
//
// The member table is built once, on first use, and kept while the code
// that defines the class is loaded: for the life of the process, or until
// activation unloads the server library that holds the class. Names are
// found without regard to case through a hash table (no allocation).
//
// Parameters, converted from the caller's Variants as the language coerces
// arguments: std::string / std::string_view (CStr), bool, int16_t, int32_t,
// uint8_t, double, Date (CBool, CInt, CLng, CByte, CDbl, CDate; Null is 13
// "Type mismatch" here), Variant (as passed, references followed), Ref<T> or
// T* for T derived from Object (Nothing, Empty and Null give null; another
// class or a non-object is 13), out-arguments as OutArg<T> or Variant&
// (written through when the caller passed a reference, else to a private
// copy), and std::span<const Variant> as the last parameter for any number
// of trailing arguments.
// Parameter descriptions (Optional/Required) cover the trailing parameters:
// `Method("Sort", &X::Sort, Optional("f2", ""), Optional("f3", ""))`
// makes the last two optional. A missing optional argument (absent or
// Variant::Missing()) takes its default; without one, a typed parameter gets
// its zero value and a Variant parameter receives Missing.
// Results: void (Empty), bool, int16_t, int32_t, uint8_t, double, Date,
// std::string, std::string_view, const char*, Variant, Ref<T> or T*.
//
// Errors, as a script host shows them (runtime errors in HRESULT form):
// unknown dispid or an invocation the member does not support (putting a
// read-only property) 438; a required argument missing 449 "Argument not
// optional"; too many arguments, or a property put with the wrong count, 450;
// an argument that does not convert 13, out of range 6. Errors the member
// throws pass through; any AutomationError that leaves a member without a
// source gets "Class.Member"; other C++ exceptions become E_FAIL with their
// text (std::bad_alloc: 7 "Out of memory").
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "norwin/automation/convert.h"
#include "norwin/automation/export.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::automation {

// Describes one parameter: its name (for readers and messages) and whether
// it may be left out, with its default.
struct ParamSpec {
  std::string_view name;
  bool optional = false;
  Variant default_value;  // Missing: the parameter type's zero value
};

inline ParamSpec Required(std::string_view name) { return ParamSpec{name, false, Variant()}; }
inline ParamSpec Optional(std::string_view name, Variant default_value = Variant::Missing()) {
  return ParamSpec{name, true, std::move(default_value)};
}

// An out-argument of type T: reads the caller's value and writes the
// caller's variable when the caller passed one by reference (VT_BYREF);
// otherwise writes land in a private copy, as when the language passes an
// expression to a ByRef parameter. Valid during the call only.
template <typename T = Variant>
class OutArg {
 public:
  explicit OutArg(Variant& slot) : slot_(&slot) {}
  // The current value converted to T (13 / 6 when it does not convert).
  T Get() const;
  void Set(T value) const { *slot_ = Variant(std::move(value)); }
  Variant& slot() const { return *slot_; }

 private:
  Variant* slot_;
};

class ClassInfo;

namespace binder_internal {

inline constexpr size_t kCallableSize = 2 * sizeof(void*);
inline constexpr uint16_t kUnbounded = 0xFFFF;

struct Invoker;
using Thunk = void (*)(Object& self, const Invoker& invoker, std::span<const Variant> args,
                       Variant* result);

// One way of invoking a member: the function to call, its argument counts and
// the defaults of its parameters.
struct Invoker {
  Thunk thunk = nullptr;
  alignas(void*) unsigned char callable[kCallableSize] = {};
  uint16_t min_args = 0;
  uint16_t max_args = 0;
  std::vector<Variant> defaults;  // one per parameter, Missing when none
};

[[noreturn]] NORWIN_AUTOMATION_EXPORT void ThrowArgumentNotOptional();
[[noreturn]] NORWIN_AUTOMATION_EXPORT void ThrowTypeMismatch();

// The argument at `index`, or the parameter's default when the caller left
// it out.
inline const Variant& ArgAt(std::span<const Variant> args, const Invoker& invoker, size_t index) {
  if (index < args.size() && !args[index].IsMissing()) return args[index];
  if (index < invoker.min_args) ThrowArgumentNotOptional();
  return invoker.defaults[index];
}

template <typename T>
struct IsRef : std::false_type {};
template <typename T>
struct IsRef<Ref<T>> : std::true_type {};

template <typename T>
inline constexpr bool kUnsupported = false;

// Argument coercion: the conversions of convert.h, except that Null is a
// type mismatch (as when the platform coerces an argument).
template <typename T>
T ConvertArg(const Variant& value) {
  if (value.Resolve().IsNull()) ThrowTypeMismatch();
  if constexpr (std::is_same_v<T, bool>) {
    return ToBool(value);
  } else if constexpr (std::is_same_v<T, int16_t>) {
    return ToInt16(value);
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return ToInt32(value);
  } else if constexpr (std::is_same_v<T, uint8_t>) {
    return ToByte(value);
  } else if constexpr (std::is_same_v<T, double>) {
    return ToDouble(value);
  } else if constexpr (std::is_same_v<T, Date>) {
    return ToDate(value);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return ToString(value);
  } else {
    static_assert(kUnsupported<T>,
                  "parameter types: std::string, bool, int16_t, int32_t, uint8_t, double, Date, "
                  "Variant, Ref<T>, T*, OutArg<T>, Variant&, std::span<const Variant>");
  }
}

template <typename T>
T* CastObject(const Variant& value) {
  const Variant& v = value.Resolve();
  if (v.IsByRef()) ThrowTypeMismatch();
  if (v.IsEmpty() || v.IsNull() || v.IsMissing()) return nullptr;
  if (!v.IsObject()) ThrowTypeMismatch();
  Object* object = v.object();
  if constexpr (std::is_same_v<T, Object>) {
    return object;
  } else {
    if (!object) return nullptr;
    T* cast = dynamic_cast<T*>(object);
    if (!cast) ThrowTypeMismatch();
    return cast;
  }
}

// Holders turn one argument into one parameter and keep what the parameter
// refers to alive for the call.
template <typename T>
struct ValueHolder {
  ValueHolder(std::span<const Variant> args, const Invoker& invoker, size_t index)
      : value(Convert(ArgAt(args, invoker, index))) {}
  static T Convert(const Variant& arg) { return arg.IsMissing() ? T{} : ConvertArg<T>(arg); }
  T& Get() { return value; }
  void Finish() {}
  T value;
};

template <>
struct ValueHolder<std::string> {
  ValueHolder(std::span<const Variant> args, const Invoker& invoker, size_t index) {
    const Variant& arg = ArgAt(args, invoker, index).Resolve();
    if (arg.IsString()) {
      text = &arg.string();  // no copy: the caller's Variant outlives the call
    } else {
      if (!arg.IsMissing()) own = ConvertArg<std::string>(arg);
      text = &own;
    }
  }
  const std::string& Get() { return *text; }
  void Finish() {}
  const std::string* text;
  std::string own;
};

template <>
struct ValueHolder<std::string_view> : ValueHolder<std::string> {
  using ValueHolder<std::string>::ValueHolder;
  std::string_view Get() { return *text; }
};

template <>
struct ValueHolder<Variant> {
  ValueHolder(std::span<const Variant> args, const Invoker& invoker, size_t index) {
    const Variant& arg = ArgAt(args, invoker, index).Resolve();
    if (arg.IsByRef()) {
      own = arg.Deref();  // a typed slot
      value = &own;
    } else {
      value = &arg;
    }
  }
  const Variant& Get() { return *value; }
  void Finish() {}
  const Variant* value;
  Variant own;
};

template <typename T>
struct ValueHolder<Ref<T>> {
  ValueHolder(std::span<const Variant> args, const Invoker& invoker, size_t index)
      : value(CastObject<T>(ArgAt(args, invoker, index))) {}
  const Ref<T>& Get() { return value; }
  void Finish() {}
  Ref<T> value;
};

template <typename T>
struct ValueHolder<T*> {
  static_assert(std::is_base_of_v<Object, T>, "pointer parameters must point at Objects");
  ValueHolder(std::span<const Variant> args, const Invoker& invoker, size_t index)
      : value(CastObject<T>(ArgAt(args, invoker, index))) {}
  T* Get() { return value; }
  void Finish() {}
  T* value;
};

// Variant& and OutArg<T>: the caller's Variant when it passed one by
// reference, else a private copy; a typed by-reference slot is written back
// (converted) after the call.
struct VariantRefHolder {
  VariantRefHolder(std::span<const Variant> args, const Invoker& invoker, size_t index) {
    const Variant& arg = ArgAt(args, invoker, index);
    const Variant& end = arg.Resolve();
    if (end.IsByRef()) {
      typed = &end;
      own = end.Deref();
    } else if (&end != &arg) {
      target = const_cast<Variant*>(&end);
    } else {
      own = arg;
    }
  }
  VariantRefHolder(const VariantRefHolder&) = delete;
  Variant& Get() { return target ? *target : own; }
  void Finish() {
    if (typed) typed->AssignThroughRef(own);
  }
  Variant* target = nullptr;
  const Variant* typed = nullptr;
  Variant own;
};

template <typename T>
struct OutArgHolder : VariantRefHolder {
  OutArgHolder(std::span<const Variant> args, const Invoker& invoker, size_t index)
      : VariantRefHolder(args, invoker, index), out(VariantRefHolder::Get()) {}
  OutArg<T>& Get() { return out; }
  OutArg<T> out;
};

struct RestHolder {
  RestHolder(std::span<const Variant> args, const Invoker&, size_t index)
      : rest(index < args.size() ? args.subspan(index) : std::span<const Variant>()) {}
  std::span<const Variant> Get() { return rest; }
  void Finish() {}
  std::span<const Variant> rest;
};

template <typename P>
struct SelectHolder {
  using type = ValueHolder<std::remove_cvref_t<P>>;
};
template <>
struct SelectHolder<Variant&> {
  using type = VariantRefHolder;
};
template <typename T>
struct SelectHolder<OutArg<T>> {
  using type = OutArgHolder<T>;
};
template <typename T>
struct SelectHolder<OutArg<T>&> {
  using type = OutArgHolder<T>;
};
template <typename T>
struct SelectHolder<const OutArg<T>&> {
  using type = OutArgHolder<T>;
};
template <>
struct SelectHolder<std::span<const Variant>> {
  using type = RestHolder;
};

template <size_t I, typename H>
struct Leaf {
  Leaf(std::span<const Variant> args, const Invoker& invoker) : holder(args, invoker, I) {}
  H holder;
};

// The holders of one call, built left to right (base classes are
// initialised in order), so arguments convert and fail in call order.
template <typename Seq, typename... H>
struct Holders;
template <size_t... I, typename... H>
struct Holders<std::index_sequence<I...>, H...> : Leaf<I, H>... {
  Holders([[maybe_unused]] std::span<const Variant> args, [[maybe_unused]] const Invoker& invoker)
      : Leaf<I, H>(args, invoker)... {}
  void Finish() { (static_cast<Leaf<I, H>&>(*this).holder.Finish(), ...); }
};

template <typename... P>
struct TypeList {};

template <typename... P>
struct Last {};
template <typename P>
struct Last<P> {
  using type = P;
};
template <typename H, typename... T>
requires(sizeof...(T) > 0) struct Last<H, T...> : Last<T...> {
};

template <typename... P>
constexpr bool HasRestParam() {
  if constexpr (sizeof...(P) == 0) {
    return false;
  } else {
    return std::is_same_v<std::remove_cvref_t<typename Last<P...>::type>, std::span<const Variant>>;
  }
}

template <typename R, typename O, bool kMember, typename... P>
struct CallableTraitsBase {
  using Ret = R;
  using Owner = std::remove_cvref_t<O>;
  using Params = TypeList<P...>;
  static constexpr bool kIsMember = kMember;
  static constexpr size_t kArity = sizeof...(P);
  static constexpr bool kHasRest = HasRestParam<P...>();
};

template <typename F, typename = void>
struct CallableTraits;
template <typename R, typename C, typename... P>
struct CallableTraits<R (C::*)(P...)> : CallableTraitsBase<R, C, true, P...> {};
template <typename R, typename C, typename... P>
struct CallableTraits<R (C::*)(P...) const> : CallableTraitsBase<R, C, true, P...> {};
template <typename R, typename C, typename... P>
struct CallableTraits<R (C::*)(P...) noexcept> : CallableTraitsBase<R, C, true, P...> {};
template <typename R, typename C, typename... P>
struct CallableTraits<R (C::*)(P...) const noexcept> : CallableTraitsBase<R, C, true, P...> {};
template <typename R, typename C, typename... P>
struct CallableTraits<R (*)(C&, P...)> : CallableTraitsBase<R, C, false, P...> {};
template <typename F>
struct LambdaTraits;
template <typename R, typename L, typename C, typename... P>
struct LambdaTraits<R (L::*)(C&, P...) const> : CallableTraitsBase<R, C, false, P...> {};
template <typename F>
struct CallableTraits<F, std::void_t<decltype(&F::operator())>>
    : LambdaTraits<decltype(&F::operator())> {};

template <typename R>
Variant ToResult(R&& value) {
  using D = std::remove_cvref_t<R>;
  if constexpr (std::is_same_v<D, Variant> || std::is_same_v<D, bool> ||
                std::is_same_v<D, int16_t> || std::is_same_v<D, int32_t> ||
                std::is_same_v<D, uint8_t> || std::is_same_v<D, double> ||
                std::is_same_v<D, Date> || std::is_same_v<D, std::string> ||
                std::is_same_v<D, std::string_view> || std::is_same_v<D, const char*> ||
                IsRef<D>::value) {
    return Variant(std::forward<R>(value));
  } else if constexpr (std::is_pointer_v<D>) {
    static_assert(std::is_base_of_v<Object, std::remove_pointer_t<D>>,
                  "pointer results must point at Objects");
    return Variant(value);
  } else {
    static_assert(kUnsupported<D>,
                  "result types: void, bool, int16_t, int32_t, uint8_t, double, Date, "
                  "std::string, std::string_view, const char*, Variant, Ref<T>, T*");
  }
}

template <typename C, typename Fn, size_t... I, typename... P>
void CallWith(C& self, const Fn& fn, const Invoker& invoker, std::span<const Variant> args,
              Variant* result, std::index_sequence<I...>, TypeList<P...>) {
  using Traits = CallableTraits<Fn>;
  Holders<std::index_sequence<I...>, typename SelectHolder<P>::type...> holders(args, invoker);
  auto call = [&]() -> decltype(auto) {
    if constexpr (Traits::kIsMember) {
      return (self.*
              fn)(static_cast<Leaf<I, typename SelectHolder<P>::type>&>(holders).holder.Get()...);
    } else {
      return fn(self,
                static_cast<Leaf<I, typename SelectHolder<P>::type>&>(holders).holder.Get()...);
    }
  };
  if constexpr (std::is_void_v<typename Traits::Ret>) {
    call();
    holders.Finish();
    if (result) *result = Variant();
  } else {
    decltype(auto) value = call();
    holders.Finish();
    if (result) *result = ToResult(std::forward<decltype(value)>(value));
  }
}

template <typename C, typename Fn>
void Call(Object& self, const Invoker& invoker, std::span<const Variant> args, Variant* result) {
  using Traits = CallableTraits<Fn>;
  const Fn& fn = *std::launder(reinterpret_cast<const Fn*>(invoker.callable));
  CallWith(static_cast<C&>(self), fn, invoker, args, result,
           std::make_index_sequence<Traits::kArity>(), typename Traits::Params());
}

}  // namespace binder_internal

// The member table of one bound class. Built by ClassBuilder, then read-only
// (safe to share between threads).
class NORWIN_AUTOMATION_EXPORT ClassInfo {
 public:
  enum class Slot { kGet, kPut, kPutRef };

  explicit ClassInfo(std::string_view name);
  ~ClassInfo();
  ClassInfo(const ClassInfo&) = delete;
  ClassInfo& operator=(const ClassInfo&) = delete;

  // The class name ("Students").
  std::string_view name() const { return name_; }
  // The dispid of member `name`, without regard to case; DISPID_UNKNOWN when
  // there is none.
  DispId Find(std::string_view name) const;
  MemberKind KindOf(DispId id) const;
  // Invokes member `id` of `self`, which must be an object of this class.
  void Invoke(Object& self, DispId id, InvokeFlags flags, std::span<const Variant> args,
              Variant* result) const;

  // Building (ClassBuilder). Definition mistakes (a duplicate name, a
  // required parameter after an optional one) abort with a message: they
  // are programming errors found on the first use of the class.
  size_t AddMember(std::string_view name, MemberKind kind);
  binder_internal::Invoker& invoker(size_t member, Slot slot);
  void DescribeParams(binder_internal::Invoker& invoker, size_t member, size_t params,
                      bool has_rest, std::initializer_list<ParamSpec> specs);
  void SetDefault(size_t member);
  void SetEnum(size_t member);
  void Seal();

  // Remembers which loaded library `info` belongs to (the one holding
  // `code`), so that its table is freed when that library is unloaded.
  static void TrackOwner(const ClassInfo* info, const void* code);
  // Frees the tables of the classes of the library loaded at `base` (its
  // dladdr base address). Only for the unloader, after the library is gone.
  static void ReleaseTablesOf(const void* base);

 private:
  struct Member {
    std::string name;
    uint32_t hash = 0;
    DispId id = 0;
    MemberKind kind = MemberKind::kMethod;
    binder_internal::Invoker get, put, putref;
  };
  const Member* MemberById(DispId id) const;
  [[noreturn]] void Fail(const std::string& message) const;

  std::string name_;
  std::vector<Member> members_;
  std::vector<int32_t> table_;  // open addressing: member index or -1
  int32_t default_ = -1;
  int32_t enum_ = -1;
};

// What NORWIN_CLASS's body calls (Method, Property, ...). Members may be
// member functions of C or of a base of C, or functions and captureless
// lambdas taking `C&` first.
template <typename C>
class ClassBuilder {
 public:
  explicit ClassBuilder(ClassInfo* info) : info_(info) {}

  class MemberHandle {
   public:
    MemberHandle(ClassInfo* info, size_t index) : info_(info), index_(index) {}
    // Makes this the default member (DISPID_VALUE): `obj(1)` means
    // `obj.Item(1)`, and conversions of the object to a value read it.
    MemberHandle& Default() {
      info_->SetDefault(index_);
      return *this;
    }

   private:
    ClassInfo* info_;
    size_t index_;
  };

  // A method: invoked with DISPATCH_METHOD or DISPATCH_PROPERTYGET.
  template <typename Fn, typename... Specs>
  MemberHandle Method(std::string_view name, Fn fn, Specs&&... specs) {
    const size_t index = info_->AddMember(name, MemberKind::kMethod);
    Bind(index, ClassInfo::Slot::kGet, fn, {std::forward<Specs>(specs)...});
    return MemberHandle(info_, index);
  }
  // A read-only property; its getter may take index parameters.
  template <typename Get, typename... Specs>
  MemberHandle Property(std::string_view name, Get get, Specs&&... specs) {
    const size_t index = info_->AddMember(name, MemberKind::kProperty);
    Bind(index, ClassInfo::Slot::kGet, get, {std::forward<Specs>(specs)...});
    return MemberHandle(info_, index);
  }
  // A property with a setter taking the getter's index parameters and then
  // the new value (DISPATCH_PROPERTYPUT, the language's Let).
  template <typename Get, typename Set, typename... Specs>
  MemberHandle PropertyRW(std::string_view name, Get get, Set set, Specs&&... specs) {
    const size_t index = info_->AddMember(name, MemberKind::kProperty);
    Bind(index, ClassInfo::Slot::kGet, get, {std::forward<Specs>(specs)...});
    Bind(index, ClassInfo::Slot::kPut, set, {});
    return MemberHandle(info_, index);
  }
  // An object property whose setter takes a reference
  // (DISPATCH_PROPERTYPUTREF, the language's Set). Script callers, which have
  // no Set, reach it with a plain put as well.
  template <typename Get, typename Set>
  MemberHandle PropertyRef(std::string_view name, Get get, Set set) {
    const size_t index = info_->AddMember(name, MemberKind::kProperty);
    Bind(index, ClassInfo::Slot::kGet, get, {});
    Bind(index, ClassInfo::Slot::kPutRef, set, {});
    return MemberHandle(info_, index);
  }
  // The enumeration member (`_NewEnum`, DISPID_NEWENUM); `fn` returns a
  // Ref<Enumerator>.
  template <typename Fn>
  void NewEnum(Fn fn) {
    const size_t index = info_->AddMember("_NewEnum", MemberKind::kMethod);
    Bind(index, ClassInfo::Slot::kGet, fn, {});
    info_->SetEnum(index);
  }

  // Builds the table of C with the Define() of Builder (see NORWIN_CLASS).
  template <typename Builder>
  static const ClassInfo* Build(std::string_view name) {
    auto* info = new ClassInfo(name);
    Builder builder(info);
    builder.Define();
    info->Seal();
    // Builder has internal linkage, so this address lies in the library
    // that defines the class.
    ClassInfo::TrackOwner(info, reinterpret_cast<const void*>(&ClassBuilder::Build<Builder>));
    return info;
  }

 private:
  template <typename Fn>
  void Bind(size_t index, ClassInfo::Slot slot, Fn fn, std::initializer_list<ParamSpec> specs) {
    using Traits = binder_internal::CallableTraits<Fn>;
    static_assert(std::is_base_of_v<typename Traits::Owner, C>,
                  "a member of this class, or a function taking it first");
    static_assert(std::is_trivially_copyable_v<Fn> && sizeof(Fn) <= binder_internal::kCallableSize,
                  "member function pointers, function pointers or captureless lambdas");
    binder_internal::Invoker& invoker = info_->invoker(index, slot);
    new (invoker.callable) Fn(fn);
    invoker.thunk = &binder_internal::Call<C, Fn>;
    info_->DescribeParams(invoker, index, Traits::kArity - Traits::kHasRest, Traits::kHasRest,
                          specs);
  }

  ClassInfo* info_;
};

template <typename T>
T OutArg<T>::Get() const {
  if constexpr (std::is_same_v<T, Variant>) {
    return slot_->Deref();
  } else {
    return binder_internal::ConvertArg<T>(*slot_);
  }
}

}  // namespace norwin::automation

// In the public section of a bound class: declares the member table and
// implements the dispatch interface with it.
#define NORWIN_BOUND_CLASS()                                                                \
  static const ::norwin::automation::ClassInfo& GetClassInfo();                             \
  ::norwin::automation::DispId FindMember(std::string_view name) const override {           \
    return GetClassInfo().Find(name);                                                       \
  }                                                                                         \
  void Invoke(::norwin::automation::DispId id, ::norwin::automation::InvokeFlags flags,     \
              std::span<const ::norwin::automation::Variant> args,                          \
              ::norwin::automation::Variant* result) override {                             \
    GetClassInfo().Invoke(*this, id, flags, args, result);                                  \
  }                                                                                         \
  ::norwin::automation::MemberKind KindOf(::norwin::automation::DispId id) const override { \
    return GetClassInfo().KindOf(id);                                                       \
  }                                                                                         \
  std::string_view TypeName() const override { return GetClassInfo().name(); }              \
  static_assert(true, "")

// In the class's .cc file, in its namespace, with the unqualified class name:
// `NORWIN_CLASS(Students) { Method(...); Property(...); }`.
#define NORWIN_CLASS(Class)                                                              \
  namespace {                                                                            \
  struct NorwinBinding_##Class : ::norwin::automation::ClassBuilder<Class> {             \
    using ::norwin::automation::ClassBuilder<Class>::ClassBuilder;                       \
    void Define();                                                                       \
  };                                                                                     \
  }                                                                                      \
  const ::norwin::automation::ClassInfo& Class::GetClassInfo() {                         \
    static const ::norwin::automation::ClassInfo* const info =                           \
        ::norwin::automation::ClassBuilder<Class>::Build<NorwinBinding_##Class>(#Class); \
    return *info;                                                                        \
  }                                                                                      \
  void NorwinBinding_##Class::Define()
