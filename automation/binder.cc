#include "norwin/automation/binder.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>

namespace norwin::automation {

namespace binder_internal {

void ThrowArgumentNotOptional() { throw RuntimeError(kArgumentNotOptional); }
void ThrowTypeMismatch() { throw RuntimeError(kTypeMismatch); }

}  // namespace binder_internal

namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// FNV-1a over the ASCII-folded name: member names are ASCII.
uint32_t HashName(std::string_view name) {
  uint32_t h = 2166136261u;
  for (char c : name) {
    h ^= static_cast<unsigned char>(FoldAscii(c));
    h *= 16777619u;
  }
  return h;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// The tables built by classes of libraries that may be unloaded, with the
// base address of each library.
struct OwnedTable {
  const ClassInfo* info;
  const void* base;
};
std::mutex owned_mu;
std::vector<OwnedTable>& OwnedTables() {
  static auto* const tables = new std::vector<OwnedTable>;
  return *tables;
}

}  // namespace

void ClassInfo::TrackOwner(const ClassInfo* info, const void* code) {
  Dl_info where;
  if (dladdr(code, &where) == 0 || !where.dli_fbase) return;
  std::lock_guard lock(owned_mu);
  OwnedTables().push_back({info, where.dli_fbase});
}

void ClassInfo::ReleaseTablesOf(const void* base) {
  std::vector<const ClassInfo*> gone;
  {
    std::lock_guard lock(owned_mu);
    std::erase_if(OwnedTables(), [&](const OwnedTable& t) {
      if (t.base != base) return false;
      gone.push_back(t.info);
      return true;
    });
  }
  for (const ClassInfo* info : gone) delete info;
}

ClassInfo::ClassInfo(std::string_view name) : name_(name) {}
ClassInfo::~ClassInfo() = default;

void ClassInfo::Fail(const std::string& message) const {
  std::fprintf(stderr, "automation class %s: %s\n", name_.c_str(), message.c_str());
  std::abort();
}

size_t ClassInfo::AddMember(std::string_view name, MemberKind kind) {
  for (const Member& m : members_) {
    if (NamesEqual(m.name, name)) Fail("member " + std::string(name) + " is defined twice");
  }
  Member& m = members_.emplace_back();
  m.name = std::string(name);
  m.hash = HashName(name);
  m.id = static_cast<DispId>(members_.size());
  m.kind = kind;
  return members_.size() - 1;
}

binder_internal::Invoker& ClassInfo::invoker(size_t member, Slot slot) {
  Member& m = members_[member];
  switch (slot) {
    case Slot::kGet:
      return m.get;
    case Slot::kPut:
      return m.put;
    case Slot::kPutRef:
      return m.putref;
  }
  std::abort();
}

void ClassInfo::DescribeParams(binder_internal::Invoker& invoker, size_t member, size_t params,
                               bool has_rest, std::initializer_list<ParamSpec> described) {
  const std::string& name = members_[member].name;
  if (described.size() > params) Fail(name + " describes more parameters than it has");
  if (params >= binder_internal::kUnbounded) Fail(name + " has too many parameters");
  invoker.defaults.assign(params, Variant::Missing());
  size_t min_args = params - described.size();
  bool optional_seen = false;
  size_t index = min_args;
  for (const ParamSpec& param : described) {
    if (param.optional) {
      optional_seen = true;
      invoker.defaults[index] = param.default_value;
    } else if (optional_seen) {
      Fail(name + ": required parameter " + std::string(param.name) + " follows an optional one");
    } else {
      min_args = index + 1;
    }
    ++index;
  }
  invoker.min_args = static_cast<uint16_t>(min_args);
  invoker.max_args = has_rest ? binder_internal::kUnbounded : static_cast<uint16_t>(params);
}

void ClassInfo::SetDefault(size_t member) {
  if (default_ >= 0) Fail("two default members");
  default_ = static_cast<int32_t>(member);
  members_[member].id = DISPID_VALUE;
}

void ClassInfo::SetEnum(size_t member) {
  if (enum_ >= 0) Fail("two enumeration members");
  enum_ = static_cast<int32_t>(member);
  members_[member].id = DISPID_NEWENUM;
}

void ClassInfo::Seal() {
  size_t size = 8;
  while (size < members_.size() * 2) size *= 2;
  table_.assign(size, -1);
  const size_t mask = size - 1;
  for (size_t i = 0; i < members_.size(); ++i) {
    size_t slot = members_[i].hash & mask;
    while (table_[slot] >= 0) slot = (slot + 1) & mask;
    table_[slot] = static_cast<int32_t>(i);
  }
}

DispId ClassInfo::Find(std::string_view name) const {
  const uint32_t hash = HashName(name);
  const size_t mask = table_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const int32_t index = table_[slot];
    if (index < 0) return DISPID_UNKNOWN;
    const Member& m = members_[index];
    if (m.hash == hash && NamesEqual(m.name, name)) return m.id;
  }
}

const ClassInfo::Member* ClassInfo::MemberById(DispId id) const {
  if (id > 0 && static_cast<size_t>(id) <= members_.size()) return &members_[id - 1];
  if (id == DISPID_VALUE && default_ >= 0) return &members_[default_];
  if (id == DISPID_NEWENUM && enum_ >= 0) return &members_[enum_];
  return nullptr;
}

MemberKind ClassInfo::KindOf(DispId id) const {
  const Member* m = MemberById(id);
  if (!m) return MemberKind::kNone;
  // A property that needs an index is called like a method.
  if (m->kind == MemberKind::kProperty && m->get.min_args == 0) return MemberKind::kProperty;
  return MemberKind::kMethod;
}

void ClassInfo::Invoke(Object& self, DispId id, InvokeFlags flags, std::span<const Variant> args,
                       Variant* result) const {
  const Member* m = MemberById(id);
  if (!m) throw RuntimeError(kObjectDoesNotSupportMember, name_);
  const binder_internal::Invoker* invoker = nullptr;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put) {
    // Script has no Set statement: a put reaches a Set-only property and a
    // putref a Let-only one.
    const bool by_ref = (flags & DISPATCH_PROPERTYPUTREF) != 0;
    const binder_internal::Invoker& first = by_ref ? m->putref : m->put;
    const binder_internal::Invoker& second = by_ref ? m->put : m->putref;
    invoker = first.thunk ? &first : second.thunk ? &second : nullptr;
  } else if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0 && m->get.thunk) {
    invoker = &m->get;
  }
  auto source = [&] { return name_ + "." + m->name; };
  if (!invoker) throw RuntimeError(kObjectDoesNotSupportMember, source());
  if (args.size() > invoker->max_args || (put && args.size() < invoker->min_args)) {
    throw RuntimeError(kWrongArgumentCount, source());
  }
  if (args.size() < invoker->min_args) throw RuntimeError(kArgumentNotOptional, source());
  try {
    invoker->thunk(self, *invoker, args, result);
  } catch (AutomationError& e) {
    if (e.source.empty()) e.source = source();
    throw;
  } catch (const std::bad_alloc&) {
    throw RuntimeError(kOutOfMemory, source());
  } catch (const std::exception& e) {
    throw AutomationError(E_FAIL, e.what(), source());
  }
}

}  // namespace norwin::automation
