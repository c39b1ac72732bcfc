#include "norwin/bridge/object_server.h"

#include <gtest/gtest.h>

#include <cmath>

#include "bridge/support/test_objects.h"
#include "norwin/automation/date.h"
#include "norwin/automation/error.h"

namespace norwin::bridge {
namespace {

using automation::HResultFromRuntimeError;
using automation::Variant;
using testing::CreateTestObject;
using testing::Record;

// Runs calls against one server, as a script's side of the bridge would.
class ObjectServerTest : public ::testing::Test {
 protected:
  CallReply Call(CallRequest request) {
    CallReply reply;
    server_.Call(request, &reply);
    return reply;
  }

  Value Create(const std::string& progid) {
    CallRequest request;
    request.op = Op::kActiveXCreate;
    request.name = progid;
    const CallReply reply = Call(request);
    EXPECT_TRUE(reply.ok) << reply.error.description;
    return reply.ok ? reply.values.at(0) : Value();
  }

  // (kind, dispid) of member `name`.
  std::pair<MemberKindCode, int32_t> Member(Handle handle, const std::string& name) {
    CallRequest request;
    request.op = Op::kObjectMember;
    request.handle = handle;
    request.name = name;
    const CallReply reply = Call(request);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.values.size(), 2u);
    return {static_cast<MemberKindCode>(reply.values.at(0).i4), reply.values.at(1).i4};
  }

  CallReply Invoke(Handle handle, const std::string& name, uint16_t flags,
                   std::vector<Value> args = {}) {
    CallRequest request;
    request.op = Op::kObjectInvoke;
    request.handle = handle;
    request.member = kMemberByName;
    request.name = name;
    request.flags = flags;
    request.args = std::move(args);
    return Call(request);
  }

  Value Get(Handle handle, const std::string& name) {
    const CallReply reply = Invoke(handle, name, kFlagPropertyGet);
    EXPECT_TRUE(reply.ok) << reply.error.description;
    return reply.ok ? reply.values.at(0) : Value();
  }

  ObjectServer server_{&CreateTestObject};
};

TEST_F(ObjectServerTest, CreatesObjectsAndTellsTheirMembers) {
  const int before = Record::LiveRecords();
  const Value record = Create("test.record");
  ASSERT_EQ(record.tag, ValueTag::kObject);
  EXPECT_EQ(Record::LiveRecords(), before + 1);
  EXPECT_EQ(server_.table().size(), 1u);

  const auto [count_kind, count_id] = Member(record.object.handle, "count");
  EXPECT_EQ(count_kind, MemberKindCode::kProperty);
  EXPECT_EQ(Member(record.object.handle, "Item").first, MemberKindCode::kMethod);
  EXPECT_EQ(Member(record.object.handle, "Concat").first, MemberKindCode::kMethod);
  EXPECT_EQ(Member(record.object.handle, "Nonesuch"),
            std::make_pair(MemberKindCode::kNone, kDispIdUnknown));

  // Invoked by the dispatch id it was told.
  CallRequest by_id;
  by_id.op = Op::kObjectInvoke;
  by_id.handle = record.object.handle;
  by_id.member = count_id;
  by_id.flags = kFlagPropertyGet;
  EXPECT_EQ(Call(by_id).values, std::vector<Value>{Value::I4(0)});

  // Objects of one class share a class id; other classes have their own.
  const Value second = Create("Test.Record");
  const Value plain = Create("Test.Plain");
  EXPECT_EQ(second.object.class_id, record.object.class_id);
  EXPECT_NE(plain.object.class_id, record.object.class_id);
  EXPECT_NE(second.object.handle, record.object.handle);
  // A plain object has no members.
  EXPECT_EQ(Member(plain.object.handle, "Count").first, MemberKindCode::kNone);

  server_.ReleaseAll();
  EXPECT_EQ(Record::LiveRecords(), before);
  EXPECT_EQ(server_.table().size(), 0u);
}

TEST_F(ObjectServerTest, ValuesConvertBothWays) {
  const Handle record = Create("Test.Record").object.handle;
  const auto echo = [&](const Value& value) {
    const CallReply reply = Invoke(record, "Echo", kFlagMethod | kFlagPropertyGet, {value});
    EXPECT_TRUE(reply.ok) << reply.error.description;
    return reply.ok ? reply.values.at(0) : Value();
  };
  const auto type_of = [&](const Value& value) {
    return Invoke(record, "TypeOf", kFlagMethod, {value}).values.at(0).i4;
  };
  for (const Value& value :
       {Value::Empty(), Value::Null(), Value::Bool(true), Value::I2(-3), Value::I4(70000),
        Value::R8(2.5), Value::Date(46363.5), Value::String("abc"), Value::NullString()}) {
    EXPECT_EQ(echo(value), value);
  }
  EXPECT_EQ(type_of(Value::Empty()), automation::VT_EMPTY);
  EXPECT_EQ(type_of(Value::I4(1)), automation::VT_I4);
  EXPECT_EQ(type_of(Value::R8(1)), automation::VT_R8);
  EXPECT_EQ(type_of(Value::Bool(false)), automation::VT_BOOL);
  EXPECT_EQ(type_of(Value::Date(1)), automation::VT_DATE);
  EXPECT_EQ(type_of(Value::String("")), automation::VT_BSTR);
  EXPECT_EQ(type_of(Value::Nothing()), automation::VT_DISPATCH);

  // What objects give back that script has no type for.
  EXPECT_EQ(Get(record, "Short"), Value::I2(-7));
  EXPECT_EQ(Get(record, "NullString"), Value::NullString());
  EXPECT_EQ(Get(record, "Missing"), Value::Empty());
  EXPECT_EQ(Get(record, "Nothing"), Value::Nothing());

  // Objects come back as new handles of the same object.
  const Value again = echo(Value::Object(record, 0));
  ASSERT_EQ(again.tag, ValueTag::kObject);
  EXPECT_NE(again.object.handle, record);
  EXPECT_EQ(server_.table().Find(again.object.handle), server_.table().Find(record));
  EXPECT_EQ(Invoke(record, "IsSame", kFlagMethod, {Value::Object(again.object.handle, 0)}).values,
            std::vector<Value>{Value::Bool(true)});
}

TEST_F(ObjectServerTest, BadValuesAreErrorsOfTheLanguage) {
  const Handle record = Create("Test.Record").object.handle;
  const auto error_of = [&](const Value& value) {
    const CallReply reply = Invoke(record, "Echo", kFlagMethod, {value});
    EXPECT_FALSE(reply.ok);
    return reply.error.number;
  };
  EXPECT_EQ(error_of(Value::Date(std::nan(""))),
            HResultFromRuntimeError(automation::kTypeMismatch));
  EXPECT_EQ(error_of(Value::Date(3000000)), HResultFromRuntimeError(automation::kOverflow));
  EXPECT_EQ(error_of(Value::Object(record + 1, 0)),
            HResultFromRuntimeError(automation::kObjectRequired));
  // Calls on a handle that names nothing.
  CallRequest request;
  request.op = Op::kObjectMember;
  request.handle = 0x00ABCDEF;
  request.name = "Count";
  EXPECT_EQ(Call(request).error.number, HResultFromRuntimeError(automation::kObjectRequired));
}

TEST_F(ObjectServerTest, ErrorsCarryNumberDescriptionAndSource) {
  const Handle record = Create("Test.Record").object.handle;
  CallReply reply = Invoke(record, "Fail", kFlagMethod, {Value::I4(635), Value::String("No!")});
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.error.number, automation::ObjectError(635));
  EXPECT_EQ(reply.error.description, "No!");
  EXPECT_EQ(reply.error.source, "record:Fail");
  EXPECT_TRUE(reply.values.empty());

  reply = Invoke(record, "Nonesuch", kFlagMethod);
  EXPECT_EQ(reply.error.number, HResultFromRuntimeError(automation::kObjectDoesNotSupportMember));
  EXPECT_EQ(reply.error.description, "Object doesn't support this property or method");
  EXPECT_EQ(reply.error.source, "Record");

  reply = Invoke(record, "Concat", kFlagMethod, {Value::String("a")});
  EXPECT_EQ(reply.error.number, HResultFromRuntimeError(automation::kArgumentNotOptional));
  EXPECT_EQ(reply.error.source, "Record.Concat");

  reply = Invoke(record, "Item", kFlagMethod, {Value::I4(3)});
  EXPECT_EQ(reply.error.number, HResultFromRuntimeError(automation::kSubscriptOutOfRange));
  EXPECT_EQ(reply.error.description, "Subscript out of range");

  CallRequest create;
  create.op = Op::kActiveXCreate;
  create.name = "No.Such";
  reply = Call(create);
  EXPECT_EQ(reply.error.number, HResultFromRuntimeError(automation::kCannotCreateObject));
  EXPECT_EQ(reply.error.description, "ActiveX component can't create object: 'No.Such'");

  // The server's default creator, activation, says the same of what the
  // registry does not know.
  ObjectServer activating;
  activating.Call(create, &reply);
  EXPECT_EQ(reply.error.number, HResultFromRuntimeError(automation::kCannotCreateObject));

  // A call number the server does not know.
  CallRequest unknown;
  unknown.op = static_cast<Op>(42);
  EXPECT_EQ(Call(unknown).error.number, kErrBadCall);
}

TEST_F(ObjectServerTest, PropertiesAreWrittenAndObjectsPassedBack) {
  const Handle record = Create("Test.Record").object.handle;
  EXPECT_TRUE(Invoke(record, "Name", kFlagPropertyPut, {Value::String("Ann")}).ok);
  EXPECT_EQ(Get(record, "Name"), Value::String("Ann"));
  // Script has no Set: a plain put reaches an object property.
  const Value child = Create("Test.Record");
  EXPECT_TRUE(Invoke(child.object.handle, "Name", kFlagPropertyPut, {Value::String("Kid")}).ok);
  EXPECT_TRUE(Invoke(record, "Child", kFlagPropertyPut, {child}).ok);
  const Value read = Get(record, "Child");
  EXPECT_EQ(Get(read.object.handle, "Name"), Value::String("Kid"));
  // A date property keeps its value exactly.
  EXPECT_TRUE(Invoke(record, "When", kFlagPropertyPut, {Value::Date(-1.25)}).ok);
  EXPECT_EQ(Get(record, "When"), Value::Date(-1.25));
}

TEST_F(ObjectServerTest, EnumeratorsHandOutItemsInBatches) {
  const Handle record = Create("Test.Record").object.handle;
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(Invoke(record, "Add", kFlagMethod,
                       {Value::String("k" + std::to_string(i)), Value::I4(i * 10)})
                    .ok);
  }
  CallRequest enumerate;
  enumerate.op = Op::kObjectEnumerate;
  enumerate.handle = record;
  const CallReply made = Call(enumerate);
  ASSERT_TRUE(made.ok);
  const Handle enumerator = made.values.at(0).object.handle;

  CallRequest next;
  next.op = Op::kEnumeratorNext;
  next.handle = enumerator;
  next.count = 3;
  EXPECT_EQ(Call(next).values, (std::vector<Value>{Value::I4(10), Value::I4(20), Value::I4(30)}));
  EXPECT_EQ(Call(next).values, (std::vector<Value>{Value::I4(40), Value::I4(50)}));
  EXPECT_TRUE(Call(next).values.empty());
  // A count of 0 asks for one.
  CallRequest reset;
  reset.op = Op::kEnumeratorReset;
  reset.handle = enumerator;
  EXPECT_TRUE(Call(reset).ok);
  next.count = 0;
  EXPECT_EQ(Call(next).values, std::vector<Value>{Value::I4(10)});

  // What is not a collection or not an enumerator says so.
  enumerate.handle = Create("Test.Plain").object.handle;
  EXPECT_EQ(Call(enumerate).error.number,
            HResultFromRuntimeError(automation::kObjectDoesNotSupportMember));
  next.handle = record;
  EXPECT_EQ(Call(next).error.number,
            HResultFromRuntimeError(automation::kObjectDoesNotSupportMember));
  reset.handle = record;
  EXPECT_FALSE(Call(reset).ok);
}

TEST(ObjectServerActivationTest, CreatesTheRuntimesClassesAndPassesArrays) {
  ObjectServer server;
  CallRequest create;
  create.op = Op::kActiveXCreate;
  create.name = "Scripting.Dictionary";
  CallReply reply;
  server.Call(create, &reply);
  ASSERT_TRUE(reply.ok) << reply.error.description;
  const Handle dictionary = reply.values.at(0).object.handle;
  const auto call = [&](const std::string& name, std::vector<Value> args) {
    CallRequest request;
    request.op = Op::kObjectInvoke;
    request.handle = dictionary;
    request.name = name;
    request.flags = kFlagMethod | kFlagPropertyGet;
    request.args = std::move(args);
    CallReply result;
    server.Call(request, &result);
    EXPECT_TRUE(result.ok) << name << ": " << result.error.description;
    return result.ok ? result.values.at(0) : Value();
  };
  call("Add", {Value::String("b"), Value::I4(2)});
  call("Add", {Value::I4(1), Value::Array({Value::String("x"), Value::Null()})});
  EXPECT_EQ(call("Keys", {}), Value::Array({Value::String("b"), Value::I4(1)}));
  EXPECT_EQ(call("Items", {}),
            Value::Array({Value::I4(2), Value::Array({Value::String("x"), Value::Null()})}));
  EXPECT_EQ(call("Count", {}), Value::I4(2));
}

TEST_F(ObjectServerTest, ReleasingDropsOneHandle) {
  const int before = Record::LiveRecords();
  const Value record = Create("Test.Record");
  const Value again = Invoke(record.object.handle, "Echo", kFlagMethod, {record}).values.at(0);
  server_.Release(record.object.handle);
  EXPECT_EQ(Record::LiveRecords(), before + 1);
  CallRequest release;
  release.op = Op::kObjectRelease;
  release.handle = again.object.handle;
  EXPECT_TRUE(Call(release).ok);
  EXPECT_EQ(Record::LiveRecords(), before);
  // Twice, or a handle never given, is no failure.
  server_.Release(again.object.handle);
  server_.Release(12345);
  EXPECT_EQ(server_.table().size(), 0u);
}

}  // namespace
}  // namespace norwin::bridge
