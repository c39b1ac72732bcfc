#include "norwin/bridge/object_server.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>
#include <utility>

#include "norwin/automation/activation.h"
#include "norwin/automation/date.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"

namespace norwin::bridge {

namespace automation = ::norwin::automation;
using automation::AutomationError;
using automation::Object;
using automation::Ref;
using automation::RuntimeError;
using automation::Variant;

namespace {

int32_t Clamp(uint32_t count) {
  return static_cast<int32_t>(std::clamp<uint32_t>(count, 1, kMaxEnumBatch));
}

}  // namespace

// Indexed by Op - 1, in the order of calls.h.
const ObjectServer::Handler ObjectServer::kHandlers[] = {
    &ObjectServer::Create,      &ObjectServer::Member,   &ObjectServer::Invoke,
    &ObjectServer::Enumerate,   &ObjectServer::Next,     &ObjectServer::Reset,
    &ObjectServer::ReleaseCall, &ObjectServer::External,
};
static_assert(std::size(kCalls) == 8, "every call needs its handler");

ObjectServer::ObjectServer(Creator creator)
    : creator_(creator ? creator : &automation::CreateObject) {}

ObjectServer::~ObjectServer() {
  // The script's objects go before the host object they may refer to.
  table_.Clear();
  external_.reset();
}

void ObjectServer::Call(const CallRequest& request, CallReply* reply) {
  reply->Clear();
  const auto index = static_cast<size_t>(request.op) - 1;
  if (index >= std::size(kHandlers)) {
    reply->Fail(automation::E_INVALIDARG, "Unknown call", "bridge");
    return;
  }
  try {
    (this->*kHandlers[index])(request, reply);
  } catch (const AutomationError& e) {
    reply->Fail(e.number,
                e.description.empty() ? automation::DescribeHResult(e.number) : e.description,
                e.source);
  } catch (const std::bad_alloc&) {
    const AutomationError e = RuntimeError(automation::kOutOfMemory);
    reply->Fail(e.number, e.description, std::string(FindCall(int32_t(request.op))->name));
  } catch (const std::exception& e) {
    reply->Fail(automation::E_FAIL, e.what(), std::string(FindCall(int32_t(request.op))->name));
  } catch (...) {
    reply->Fail(automation::E_UNEXPECTED, automation::DescribeHResult(automation::E_UNEXPECTED),
                std::string(FindCall(int32_t(request.op))->name));
  }
}

Object& ObjectServer::Require(Handle handle) const {
  Object* object = table_.Find(handle);
  if (!object) throw RuntimeError(automation::kObjectRequired);
  return *object;
}

uint32_t ObjectServer::ClassIdOf(const Object& object) {
  const auto [it, added] = class_ids_.try_emplace(std::type_index(typeid(object)), 0);
  if (added) it->second = static_cast<uint32_t>(class_ids_.size());
  return it->second;
}

Value ObjectServer::Publish(Ref<Object> object) {
  if (!object) return Value::Nothing();
  const uint32_t class_id = ClassIdOf(*object);
  const Handle handle = table_.Add(std::move(object));
  if (handle == kNoHandle) throw RuntimeError(automation::kOutOfMemory);
  return Value::Object(handle, class_id);
}

Value ObjectServer::ToValue(const Variant& value) {
  if (value.IsByRef()) return ToValue(value.Deref());
  switch (value.type()) {
    case automation::VT_EMPTY:
      return Value::Empty();
    case automation::VT_NULL:
      return Value::Null();
    case automation::VT_BOOL:
      return Value::Bool(value.bool_value());
    case automation::VT_I2:
      return Value::I2(value.i2());
    case automation::VT_I4:
      return Value::I4(value.i4());
    case automation::VT_UI1:
      return Value::I2(value.ui1());
    case automation::VT_R8:
      return Value::R8(value.r8());
    case automation::VT_DATE:
      return Value::Date(value.date().value);
    case automation::VT_BSTR:
      return value.IsNullString() ? Value::NullString() : Value::String(value.string());
    case automation::VT_DISPATCH:
      return Publish(Ref<Object>(value.object()));
    case automation::VT_ERROR:
      // A left-out argument reads as undefined; other error values as
      // their code, as script engines show them.
      return value.IsMissing() ? Value::Empty() : Value::I4(value.scode());
    case automation::VT_ARRAY | automation::VT_VARIANT: {
      std::vector<Value> items;
      items.reserve(value.array().size());
      for (const Variant& item : value.array()) items.push_back(ToValue(item));
      return Value::Array(std::move(items));
    }
    default:
      throw RuntimeError(automation::kUnsupportedAutomationType);
  }
}

Variant ObjectServer::ToVariant(const Value& value) const {
  switch (value.tag) {
    case ValueTag::kEmpty:
      return Variant();
    case ValueTag::kNull:
      return Variant::Null();
    case ValueTag::kBool:
      return Variant(value.b);
    case ValueTag::kI2:
      return Variant(value.i2);
    case ValueTag::kI4:
      return Variant(value.i4);
    case ValueTag::kR8:
      return Variant(value.r8);
    case ValueTag::kDate:
      if (std::isnan(value.r8)) throw RuntimeError(automation::kTypeMismatch);
      if (!automation::IsValidDate(value.r8)) throw RuntimeError(automation::kOverflow);
      return Variant(automation::Date{value.r8});
    case ValueTag::kString:
      return Variant(value.text);
    case ValueTag::kNullString:
      return Variant::NullString();
    case ValueTag::kObject:
      if (value.object.handle == kNoHandle) return Variant::Nothing();
      return Variant(&Require(value.object.handle));
    case ValueTag::kArray: {
      std::vector<Variant> items;
      items.reserve(value.items.size());
      for (const Value& item : value.items) items.push_back(ToVariant(item));
      return Variant::Array(std::move(items));
    }
  }
  throw RuntimeError(automation::kTypeMismatch);
}

void ObjectServer::Create(const CallRequest& request, CallReply* reply) {
  reply->values.push_back(Publish(creator_(request.name)));
}

void ObjectServer::Member(const CallRequest& request, CallReply* reply) {
  const Object& object = Require(request.handle);
  const automation::DispId id = object.FindMember(request.name);
  MemberKindCode kind = MemberKindCode::kNone;
  if (id != automation::DISPID_UNKNOWN) {
    switch (object.KindOf(id)) {
      case automation::MemberKind::kProperty:
        kind = MemberKindCode::kProperty;
        break;
      case automation::MemberKind::kMethod:
      // An object that does not say what its member is gets its members
      // called; a call reaches a property read as well.
      case automation::MemberKind::kNone:
        kind = MemberKindCode::kMethod;
        break;
    }
  }
  reply->values.push_back(Value::I4(static_cast<int32_t>(kind)));
  reply->values.push_back(Value::I4(id));
}

void ObjectServer::Invoke(const CallRequest& request, CallReply* reply) {
  // The object stays alive for the whole call even should the script
  // release its handle meanwhile.
  Ref<Object> object(&Require(request.handle));
  automation::DispId id = request.member;
  if (id == kMemberByName) {
    id = object->FindMember(request.name);
    if (id == automation::DISPID_UNKNOWN) {
      throw RuntimeError(automation::kObjectDoesNotSupportMember, std::string(object->TypeName()));
    }
  }
  // Borrow the kept buffer; a call that arrives while this one runs gets
  // its own.
  std::vector<Variant> args = std::move(args_);
  args.clear();
  for (const Value& value : request.args) args.push_back(ToVariant(value));
  Variant result;
  try {
    object->Invoke(id, request.flags, args, &result);
  } catch (...) {
    args.clear();
    args_ = std::move(args);
    throw;
  }
  args.clear();
  args_ = std::move(args);
  reply->values.push_back(ToValue(result));
}

void ObjectServer::Enumerate(const CallRequest& request, CallReply* reply) {
  reply->values.push_back(Publish(automation::GetEnumerator(Require(request.handle))));
}

void ObjectServer::Next(const CallRequest& request, CallReply* reply) {
  Object& object = Require(request.handle);
  automation::Enumerator* enumerator = object.AsEnumerator();
  if (!enumerator) {
    throw RuntimeError(automation::kObjectDoesNotSupportMember, std::string(object.TypeName()));
  }
  Ref<Object> keep(&object);
  const int32_t count = Clamp(request.count);
  Variant item;
  for (int32_t i = 0; i < count && enumerator->Next(&item); ++i) {
    reply->values.push_back(ToValue(item));
  }
}

void ObjectServer::Reset(const CallRequest& request, CallReply*) {
  Object& object = Require(request.handle);
  automation::Enumerator* enumerator = object.AsEnumerator();
  if (!enumerator) {
    throw RuntimeError(automation::kObjectDoesNotSupportMember, std::string(object.TypeName()));
  }
  enumerator->Reset();
}

void ObjectServer::ReleaseCall(const CallRequest& request, CallReply*) {
  table_.Release(request.handle);
}

void ObjectServer::External(const CallRequest&, CallReply* reply) {
  if (!external_) throw RuntimeError(automation::kObjectDoesNotSupportMember, "external");
  reply->values.push_back(Publish(external_));
}

}  // namespace norwin::bridge
