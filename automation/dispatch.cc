#include "norwin/automation/dispatch.h"

#include <utility>

namespace norwin::automation {

namespace {

class SnapshotEnumerator final : public Enumerator {
 public:
  explicit SnapshotEnumerator(std::vector<Variant> items) : items_(std::move(items)) {}

  bool Next(Variant* item) override {
    if (next_ >= items_.size()) return false;
    *item = items_[next_++];
    return true;
  }
  void Reset() override { next_ = 0; }

 private:
  std::vector<Variant> items_;
  size_t next_ = 0;
};

}  // namespace

Object::~Object() = default;

DispId Object::FindMember(std::string_view) const { return DISPID_UNKNOWN; }

void Object::Invoke(DispId, InvokeFlags, std::span<const Variant>, Variant*) {
  throw RuntimeError(kObjectDoesNotSupportMember, std::string(TypeName()));
}

MemberKind Object::KindOf(DispId) const { return MemberKind::kNone; }

std::string_view Object::TypeName() const { return "Object"; }

std::string_view Enumerator::TypeName() const { return "Enumerator"; }

Variant CallByName(Object& object, std::string_view name, InvokeFlags flags,
                   std::span<const Variant> args) {
  const DispId id = object.FindMember(name);
  if (id == DISPID_UNKNOWN) {
    throw RuntimeError(kObjectDoesNotSupportMember, std::string(object.TypeName()));
  }
  Variant result;
  object.Invoke(id, flags, args, &result);
  return result;
}

Variant CallByName(Object& object, std::string_view name, InvokeFlags flags,
                   std::initializer_list<Variant> args) {
  return CallByName(object, name, flags, std::span<const Variant>(args.begin(), args.size()));
}

Object& RequireObject(const Variant& value) {
  const Variant& v = value.Resolve();
  if (!v.IsObject()) throw RuntimeError(kObjectRequired);
  if (!v.object()) throw RuntimeError(kObjectNotSet);
  return *v.object();
}

Ref<Enumerator> MakeSnapshotEnumerator(std::vector<Variant> items) {
  return MakeRef<SnapshotEnumerator>(std::move(items));
}

Ref<Enumerator> GetEnumerator(Object& object) {
  if (Enumerator* e = object.AsEnumerator()) return Ref<Enumerator>(e);
  Variant result;
  object.Invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result);
  const Variant& v = result.Resolve();
  Enumerator* e = v.IsObject() && v.object() ? v.object()->AsEnumerator() : nullptr;
  if (!e) throw RuntimeError(kObjectDoesNotSupportMember, std::string(object.TypeName()));
  return Ref<Enumerator>(e);
}

}  // namespace norwin::automation
