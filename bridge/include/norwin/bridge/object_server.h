// ObjectServer: the side of the bridge that owns the automation objects of
// one script and carries out its calls (calls.h).
//
// It keeps the script's objects in an ObjectTable and converts between wire
// Values and automation Variants: objects leave as new handles with the id
// of their C++ class, handles come back as the objects they name. Every
// failure becomes an error reply with the automation error's number,
// description and source; nothing throws out of Call.
//
// `lumo-script` calls it directly; in `lumo` the UI process keeps one per
// page and feeds it the calls that arrive from the page's web process.
// One thread at a time (the objects' own rule).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/bridge/calls.h"
#include "norwin/bridge/object_table.h"
#include "norwin/bridge/value.h"

namespace norwin::bridge {

class ObjectServer final : public Channel {
 public:
  // Makes the object of a ProgID for ActiveX.Create; throws AutomationError
  // when it cannot.
  using Creator = automation::Ref<automation::Object> (*)(std::string_view progid);

  // `creator` null: the automation runtime's activation by ProgID.
  explicit ObjectServer(Creator creator = nullptr);
  // Releases every object the script still holds.
  ~ObjectServer() override;

  void Call(const CallRequest& request, CallReply* reply) override;
  void Release(Handle handle) override { table_.Release(handle); }

  // Releases every object (the script ended, the page went away). Handles
  // from before never name an object again.
  void ReleaseAll() { table_.Clear(); }

  // Gives `object` to the script: a new handle, as a wire value (Nothing
  // for null). Throws AutomationError 7 when the table is full.
  Value Publish(automation::Ref<automation::Object> object);

  // The wire form of `value` (by-reference Variants followed); objects are
  // published. Throws AutomationError for a type script cannot hold.
  Value ToValue(const automation::Variant& value);
  // The Variant of a wire value. Throws AutomationError: 424 for a handle
  // that names no object, 13 for a date that is not one (NaN), 6 for a date
  // outside 1/1/100 - 12/31/9999.
  automation::Variant ToVariant(const Value& value) const;

  // The object External.Get hands out (window.external); null: none, and
  // External.Get fails with error 438.
  void SetExternal(automation::Ref<automation::Object> external) {
    external_ = std::move(external);
  }

  const ObjectTable& table() const { return table_; }

 private:
  using Handler = void (ObjectServer::*)(const CallRequest&, CallReply*);
  static const Handler kHandlers[];

  void Create(const CallRequest& request, CallReply* reply);
  void Member(const CallRequest& request, CallReply* reply);
  void Invoke(const CallRequest& request, CallReply* reply);
  void Enumerate(const CallRequest& request, CallReply* reply);
  void Next(const CallRequest& request, CallReply* reply);
  void Reset(const CallRequest& request, CallReply* reply);
  void ReleaseCall(const CallRequest& request, CallReply* reply);
  void External(const CallRequest& request, CallReply* reply);

  // The object under `handle`; throws AutomationError 424 when none.
  automation::Object& Require(Handle handle) const;
  uint32_t ClassIdOf(const automation::Object& object);

  Creator creator_;
  automation::Ref<automation::Object> external_;
  ObjectTable table_;
  std::unordered_map<std::type_index, uint32_t> class_ids_;
  // Kept between calls so that a call's arguments cost no allocation.
  std::vector<automation::Variant> args_;
};

}  // namespace norwin::bridge
