#include "norwin/bridge/js_bridge.h"

#include <cstring>
#include <exception>
#include <unordered_map>
#include <utility>

#include "norwin/bridge/packed_text.h"

// Made by glib-compile-resources from bridge/js/bridge.gresource.xml.
extern "C" void norwin_bridge_register_resource(void);

namespace norwin::bridge {

// The native functions of a context may outlive its bridge (the context
// lives on after the bridge is gone); they reach the bridge through this
// link, which the bridge clears when it goes and the last of them frees.
struct JsBridgeLink {
  std::atomic<JsBridge*> bridge;
  std::atomic<int> refs;
};

namespace {

static_assert(sizeof(void*) == 8, "keeper keys pack a bridge id and a handle into a pointer");

void LinkUnref(gpointer data) {
  auto* link = static_cast<JsBridgeLink*>(data);
  if (link->refs.fetch_sub(1) == 1) delete link;
}

JsBridgeLink* LinkRef(JsBridgeLink* link) {
  link->refs.fetch_add(1);
  return link;
}

// The bytes every keeper declares. No script can reach a keeper, so none
// ever reads or writes them; they only tell the collector what an
// automation object costs.
alignas(64) char g_pressure[1024];

// Bridges by id, for keepers collected after their bridge has gone.
struct Registry {
  std::mutex mutex;
  std::unordered_map<uint32_t, JsBridge*> bridges;
  uint32_t next_id = 1;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}

uint32_t Register(JsBridge* bridge) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const uint32_t id = registry.next_id++;
  registry.bridges.emplace(id, bridge);
  return id;
}

gpointer KeeperKey(uint32_t bridge_id, Handle handle) {
  return reinterpret_cast<gpointer>((static_cast<uintptr_t>(bridge_id) << 32) | handle);
}

// The packed reply of a failure, without allocating a CallReply.
char* FailureReply(int32_t number, std::string_view description) {
  CallReply reply;
  reply.Fail(number, std::string(description), "bridge");
  std::string packed;
  AppendPackedReply(reply, &packed);
  return g_strndup(packed.data(), packed.size());
}

JSCValue* NewNumber(JSCContext* context, double n) { return jsc_value_new_number(context, n); }

void SetProperty(JSCValue* object, const char* name, JSCValue* value) {
  jsc_value_object_set_property(object, name, value);
  g_object_unref(value);
}

}  // namespace

JsBridge::JsBridge(JSCContext* context, Channel* channel)
    : id_(Register(this)),
      context_(JSC_CONTEXT(g_object_ref(context))),
      channel_(channel),
      thread_(std::this_thread::get_id()) {
  link_ = new JsBridgeLink{this, 1};
}

JsBridge::~JsBridge() {
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.bridges.erase(id_);
  }
  link_->bridge.store(nullptr);
  LinkUnref(link_);
  helpers_.reset();
  g_object_unref(context_);
}

Result<std::unique_ptr<JsBridge>> JsBridge::Install(JSCContext* context, Channel* channel,
                                                    Keepers keepers) {
  static std::once_flag registered;
  std::call_once(registered, [] { norwin_bridge_register_resource(); });

  std::unique_ptr<JsBridge> bridge(new JsBridge(context, channel));
  if (keepers == Keepers::kObjects) {
    // A name of its own per bridge: a context keeps its classes for good.
    const std::string name = "NorwinKeeper" + std::to_string(bridge->id_);
    bridge->keeper_class_ = jsc_context_register_class(context, name.c_str(), nullptr, nullptr,
                                                       &JsBridge::OnKeeperCollected);
  }
  GObjectPtr<JSCValue> native(jsc_value_new_object(context, nullptr, nullptr));
  SetProperty(native.get(), "call",
              jsc_value_new_function(
                  context, "call", G_CALLBACK(&JsBridge::OnCall), LinkRef(bridge->link_), LinkUnref,
                  G_TYPE_STRING, 5, G_TYPE_INT, G_TYPE_INT, G_TYPE_INT, G_TYPE_INT, G_TYPE_STRING));
  SetProperty(
      native.get(), "keep",
      jsc_value_new_function(context, "keep", G_CALLBACK(&JsBridge::OnKeep), LinkRef(bridge->link_),
                             LinkUnref, JSC_TYPE_VALUE, 1, G_TYPE_UINT));

  GObjectPtr<JSCValue> ops(jsc_value_new_object(context, nullptr, nullptr));
  for (const CallSpec& call : kCalls) {
    const std::string name(call.name);
    SetProperty(ops.get(), name.c_str(), NewNumber(context, static_cast<int>(call.op)));
  }
  jsc_value_object_set_property(native.get(), "ops", ops.get());

  GObjectPtr<JSCValue> constants(jsc_value_new_object(context, nullptr, nullptr));
  const std::pair<const char*, double> kConstants[] = {
      {"METHOD", kFlagMethod},
      {"PROPERTYGET", kFlagPropertyGet},
      {"PROPERTYPUT", kFlagPropertyPut},
      {"PROPERTYPUTREF", kFlagPropertyPutRef},
      {"DISPID_VALUE", kDispIdValue},
      {"DISPID_NEWENUM", kDispIdNewEnum},
      {"MEMBER_BY_NAME", kMemberByName},
      {"KIND_NONE", static_cast<int>(MemberKindCode::kNone)},
      {"KIND_METHOD", static_cast<int>(MemberKindCode::kMethod)},
      {"KIND_PROPERTY", static_cast<int>(MemberKindCode::kProperty)},
      {"E_OBJECT_DOESNT_SUPPORT", kErrObjectDoesntSupport},
      {"E_TYPE_MISMATCH", kErrTypeMismatch},
      {"E_OBJECT_REQUIRED", kErrObjectRequired},
      {"E_SUBSCRIPT_OUT_OF_RANGE", kErrSubscriptOutOfRange},
  };
  for (const auto& [name, value] : kConstants) {
    SetProperty(constants.get(), name, NewNumber(context, value));
  }
  jsc_value_object_set_property(native.get(), "constants", constants.get());

  GObjectPtr<JSCValue> global(jsc_context_get_global_object(context));
  Result<GObjectPtr<JSCValue>> helpers =
      RunShim(context, "/org/norwin/bridge/js/automation.js", {native.get(), global.get()});
  if (!helpers.ok()) return helpers.status();
  bridge->helpers_ = std::move(helpers).value();
  return bridge;
}

char* JsBridge::OnCall(int32_t op, int32_t handle, int32_t member, int32_t flags,
                       const char* packed, gpointer link) {
  JsBridge* bridge = static_cast<JsBridgeLink*>(link)->bridge.load();
  if (!bridge) return FailureReply(kErrBridgeGone, "The objects of this script are gone");
  try {
    return bridge->Call(op, handle, member, flags, packed ? packed : "");
  } catch (...) {
    // Only allocation can fail here; the channel reports its own failures
    // as replies.
    return FailureReply(kErrBridgeGone, "Out of memory");
  }
}

JSCValue* JsBridge::OnKeep(uint32_t handle, gpointer link) {
  JsBridge* bridge = static_cast<JsBridgeLink*>(link)->bridge.load();
  if (!bridge) return jsc_value_new_null(jsc_context_get_current());
  return bridge->Keep(handle);
}

void JsBridge::OnKeeperCollected(gpointer key) {
  const auto bits = reinterpret_cast<uintptr_t>(key);
  const auto id = static_cast<uint32_t>(bits >> 32);
  const auto handle = static_cast<Handle>(bits & 0xFFFFFFFFu);
  JsBridge* bridge;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.bridges.find(id);
    if (it == registry.bridges.end()) return;
    bridge = it->second;
    if (std::this_thread::get_id() != bridge->thread_) {
      // Objects belong to their thread: release it there, at its next call.
      std::lock_guard foreign(bridge->foreign_mutex_);
      bridge->foreign_releases_.push_back(handle);
      bridge->foreign_pending_.store(true);
      return;
    }
  }
  bridge->ReleaseCollected(handle);
}

JSCValue* JsBridge::Keep(Handle handle) {
  if (keeper_class_) return jsc_value_new_object(context_, KeeperKey(id_, handle), keeper_class_);
  return jsc_value_new_array_buffer(context_, g_pressure, sizeof g_pressure,
                                    &JsBridge::OnKeeperCollected, KeeperKey(id_, handle));
}

void JsBridge::ReleaseCollected(Handle handle) {
  // The collector runs outside any call of the channel, so the channel is
  // free to take it; object destructors do not call script.
  channel_->Release(handle);
}

void JsBridge::DrainForeignReleases() {
  std::vector<Handle> handles;
  {
    std::lock_guard lock(foreign_mutex_);
    handles.swap(foreign_releases_);
    foreign_pending_.store(false);
  }
  for (Handle handle : handles) channel_->Release(handle);
}

char* JsBridge::Call(int32_t op, int32_t handle, int32_t member, int32_t flags,
                     const char* packed) {
  ++calls_;
  if (foreign_pending_.load(std::memory_order_relaxed)) DrainForeignReleases();
  const std::optional<CallSpec> call = FindCall(op);
  if (!call) return FailureReply(kErrBadCall, "Unknown automation call");

  // A call that arrives while another runs (it cannot today: objects never
  // call script) gets buffers of its own.
  CallRequest local_request;
  CallReply local_reply;
  std::string local_packed;
  const bool nested = busy_;
  CallRequest& request = nested ? local_request : request_;
  CallReply& reply = nested ? local_reply : reply_;
  std::string& out = nested ? local_packed : packed_reply_;
  busy_ = true;
  struct Unbusy {
    bool& busy;
    bool value;
    ~Unbusy() { busy = value; }
  } unbusy{busy_, nested};

  request.op = call->op;
  request.handle = static_cast<Handle>(handle);
  request.member = member;
  request.flags = static_cast<uint16_t>(flags);
  request.count = call->op == Op::kEnumeratorNext ? static_cast<uint32_t>(member) : 0;
  request.name.clear();
  request.args.clear();
  if (Status read = ReadPackedValues(packed, &request.args); !read.ok()) {
    return FailureReply(kErrBadCall, read.message());
  }
  const bool named = call->op == Op::kActiveXCreate || call->op == Op::kObjectMember ||
                     (call->op == Op::kObjectInvoke && member == kMemberByName);
  if (named) {
    if (request.args.empty() || request.args.front().tag != ValueTag::kString) {
      return FailureReply(kErrBadCall, "Automation call without a name");
    }
    request.name = std::move(request.args.front().text);
    request.args.erase(request.args.begin());
  }

  if (call->reply == Reply::kNone) {
    channel_->Release(request.handle);
    reply.Clear();
  } else {
    channel_->Call(request, &reply);
  }
  out.clear();
  AppendPackedReply(reply, &out);
  // Values can hold objects' texts of any size; keep the buffers from
  // holding on to a large one.
  request.args.clear();
  reply.values.clear();
  return g_strndup(out.data(), out.size());
}

}  // namespace norwin::bridge
