// Every call between page script and the automation objects it uses,
// declared in one place.
//
// Script never holds an object: it holds a Handle that the object server
// (object_server.h) gave it, and reaches the object through these calls.
// In `lumo-script` the calls go straight to an object server in the same
// process; in `lumo` the web-process extension carries the same calls over
// its socket to the UI process, which owns the objects. Either way the
// JavaScript shims (bridge/js/) are the same.
//
//   ActiveX.Create(name: progid)                       => object | error
//   Object.Member(handle, name)                        => (kind: I4, dispid: I4) | error
//   Object.Invoke(handle, member, flags, args...)      => value | error
//   Object.Enumerate(handle)                           => enumerator object | error
//   Enumerator.Next(handle, count)                     => up to `count` values | error
//   Enumerator.Reset(handle)                           => () | error
//   Object.Release(handle)                             =| (no reply)
//   External.Get()                                     => the page's host object | error
//
// `=>` waits for a reply; `=|` does not. `member` of Object.Invoke is a
// dispatch id that Object.Member answered, or kMemberByName with the name in
// `name`. External.Get answers the object that the page's host hands to
// its script as `window.external` (lumo's course windows), or error 438 where
// there is none. An error carries the HRESULT and the texts an automation error
// carries (error.h of the automation runtime).
#pragma once

#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/bridge/value.h"

namespace norwin::bridge {

enum class Op : uint8_t {
  kActiveXCreate = 1,
  kObjectMember = 2,
  kObjectInvoke = 3,
  kObjectEnumerate = 4,
  kEnumeratorNext = 5,
  kEnumeratorReset = 6,
  kObjectRelease = 7,
  kExternalGet = 8,
};

// Whether the caller waits for the answer.
enum class Reply : uint8_t { kWaits, kNone };

struct CallSpec {
  Op op;
  std::string_view name;
  Reply reply;
};

inline constexpr CallSpec kCalls[] = {
    {Op::kActiveXCreate, "ActiveX.Create", Reply::kWaits},
    {Op::kObjectMember, "Object.Member", Reply::kWaits},
    {Op::kObjectInvoke, "Object.Invoke", Reply::kWaits},
    {Op::kObjectEnumerate, "Object.Enumerate", Reply::kWaits},
    {Op::kEnumeratorNext, "Enumerator.Next", Reply::kWaits},
    {Op::kEnumeratorReset, "Enumerator.Reset", Reply::kWaits},
    {Op::kObjectRelease, "Object.Release", Reply::kNone},
    {Op::kExternalGet, "External.Get", Reply::kWaits},
};

// The declaration of `op`; nullopt for a number that names no call (from a
// misbehaving peer).
std::optional<CallSpec> FindCall(int32_t op);

// ---- Constants both sides use (the shims receive them from the native side) ----

// Object.Invoke flags, as the automation runtime's (object.h).
inline constexpr uint16_t kFlagMethod = 1;
inline constexpr uint16_t kFlagPropertyGet = 2;
inline constexpr uint16_t kFlagPropertyPut = 4;
inline constexpr uint16_t kFlagPropertyPutRef = 8;

// Dispatch ids with a meaning of their own.
inline constexpr int32_t kDispIdValue = 0;     // the default member
inline constexpr int32_t kDispIdUnknown = -1;  // no such member
inline constexpr int32_t kDispIdNewEnum = -4;  // the enumeration member
inline constexpr int32_t kMemberByName = INT32_MIN;

// What Object.Member answers, as the automation runtime's MemberKind.
enum class MemberKindCode : int32_t { kNone = 0, kMethod = 1, kProperty = 2 };

// The errors the shims raise themselves, as HRESULTs of the runtime errors
// 438 "Object doesn't support this property or method", 13 "Type mismatch",
// 424 "Object required" and 9 "Subscript out of range".
inline constexpr int32_t kErrObjectDoesntSupport = static_cast<int32_t>(0x800A01B6);
inline constexpr int32_t kErrTypeMismatch = static_cast<int32_t>(0x800A000D);
inline constexpr int32_t kErrObjectRequired = static_cast<int32_t>(0x800A01A8);
inline constexpr int32_t kErrSubscriptOutOfRange = static_cast<int32_t>(0x800A0009);
// Runtime error 7 "Out of memory": a call or an answer too large for the
// bridge's frames.
inline constexpr int32_t kErrOutOfMemory = static_cast<int32_t>(0x800A0007);
// Failures of the bridge itself: a call it cannot read (E_INVALIDARG), a
// call after its page went away (E_UNEXPECTED), a failure it cannot name.
inline constexpr int32_t kErrBadCall = static_cast<int32_t>(0x80070057);
inline constexpr int32_t kErrBridgeGone = static_cast<int32_t>(0x8000FFFF);

// How many values one Enumerator.Next may ask for.
inline constexpr uint32_t kMaxEnumBatch = 1024;

// ---- Requests and replies ----

struct CallRequest {
  Op op = Op::kObjectInvoke;
  Handle handle = kNoHandle;
  int32_t member = kMemberByName;  // Object.Invoke
  uint16_t flags = 0;              // Object.Invoke
  uint32_t count = 0;              // Enumerator.Next
  std::string name;                // ActiveX.Create, Object.Member, Invoke by name
  std::vector<Value> args;         // Object.Invoke, in call order
};

struct CallError {
  int32_t number = 0;  // an HRESULT
  std::string description;
  std::string source;
};

struct CallReply {
  bool ok = true;
  std::vector<Value> values;
  CallError error;

  void Clear() {
    ok = true;
    values.clear();
    error = CallError();
  }
  void Fail(int32_t number, std::string description, std::string source) {
    ok = false;
    values.clear();
    error = CallError{number, std::move(description), std::move(source)};
  }
};

// The side that carries out calls: an object server in this process, or the
// extension's connection to the UI process. One thread at a time.
class Channel {
 public:
  virtual ~Channel() = default;

  // Carries out `request` (never Object.Release) and fills `reply`, which it
  // clears first. Failures are replies with ok == false; nothing throws.
  virtual void Call(const CallRequest& request, CallReply* reply) = 0;

  // Object.Release: the caller no longer uses `handle`. Unknown and
  // already released handles are ignored. May be called while the script
  // engine collects garbage, so it must not call back into script.
  virtual void Release(Handle handle) = 0;
};

}  // namespace norwin::bridge
