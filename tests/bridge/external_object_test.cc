// window.external's dispatch rules, without a window: a host that records
// what reaches it.
#include "norwin/bridge/external_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "norwin/automation/error.h"
#include "norwin/bridge/object_server.h"

namespace norwin::bridge {
namespace {

namespace automation = ::norwin::automation;
using automation::Variant;

// Records each call as one line ("setCookie a=1").
class RecordingHost final : public ExternalHost {
 public:
  std::vector<std::string> calls;
  std::string search_page = "<html>found</html>";

  void Print() override { calls.push_back("Print"); }
  void Stop() override { calls.push_back("Stop"); }
  void Minimize() override { calls.push_back("Minimize"); }
  void Restore() override { calls.push_back("Restore"); }
  void ShellExec(std::string_view file) override { Add("ShellExec", file); }
  std::string GetCookie(std::string_view name) override {
    Add("GetCookie", name);
    return "value of " + std::string(name);
  }
  void AppendChip(std::string_view name, std::string_view value) override {
    Add("appendChip", std::string(name) + "=" + std::string(value));
  }
  void ConfigureSearch(std::string_view w, std::string_view v, std::string_view t) override {
    Add("ConfigureSearch", std::string(w) + "," + std::string(v) + "," + std::string(t));
  }
  std::string Search(std::string_view query) override {
    Add("Search", query);
    return search_page;
  }
  void Popup(std::string_view url, int32_t x, int32_t y, int32_t w, int32_t h) override {
    Add("Popup", Describe(url, x, y, w, h));
  }
  void Popup2(std::string_view html, int32_t x, int32_t y, int32_t w, int32_t h) override {
    Add("Popup2", Describe(html, x, y, w, h));
  }
  void SetCookie(std::string_view name, std::string_view value) override {
    Add("setCookie", std::string(name) + "=" + std::string(value));
  }
  void PrintStr(std::string_view text) override { Add("PrintStr", text); }
  void DelCookie(std::string_view name) override { Add("delCookie", name); }
  void Open(std::string_view question) override { Add("open", question); }
  void Save() override { calls.push_back("save"); }
  void SaveMsg(std::string_view text) override { Add("saveMsg", text); }
  void SetKey(std::string_view key) override { Add("SetKey", key); }

 private:
  void Add(const char* method, std::string_view text) {
    calls.push_back(std::string(method) + " " + std::string(text));
  }
  static std::string Describe(std::string_view text, int32_t x, int32_t y, int32_t w, int32_t h) {
    return std::string(text) + " " + std::to_string(x) + "," + std::to_string(y) + "," +
           std::to_string(w) + "x" + std::to_string(h);
  }
};

class ExternalObjectTest : public ::testing::Test {
 protected:
  // Invokes member `name` with `args` (call order); the HRESULT raised, or
  // S_OK.
  automation::HResult Call(std::string_view name, std::vector<Variant> args,
                           Variant* result = nullptr) {
    try {
      external_->Invoke(external_->FindMember(name), automation::DISPATCH_METHOD, args, result);
    } catch (const automation::AutomationError& e) {
      return e.number;
    }
    return automation::S_OK;
  }

  std::shared_ptr<RecordingHost> host_ = std::make_shared<RecordingHost>();
  automation::Ref<ExternalObject> external_ = automation::MakeRef<ExternalObject>(host_);
};

TEST_F(ExternalObjectTest, NamesResolveWithoutRegardToCaseToTheInterfaceIds) {
  EXPECT_EQ(external_->FindMember("GetCookie"), external_dispid::kGetCookie);
  EXPECT_EQ(external_->FindMember("getcookie"), external_dispid::kGetCookie);
  EXPECT_EQ(external_->FindMember("SETCOOKIE"), external_dispid::kSetCookie);
  EXPECT_EQ(external_->FindMember("Run"), external_dispid::kRun);
  EXPECT_EQ(external_->FindMember("GetHwnd"), external_dispid::kGetHwnd);
  EXPECT_EQ(external_->FindMember("AddFavorite"), automation::DISPID_UNKNOWN);
  EXPECT_EQ(external_->KindOf(external_dispid::kSearch), automation::MemberKind::kMethod);
  EXPECT_EQ(external_->KindOf(12345), automation::MemberKind::kNone);
}

TEST_F(ExternalObjectTest, MethodsTakeTheLastArgumentsOfExactTypes) {
  EXPECT_EQ(Call("setCookie", {Variant("a"), Variant("1")}), automation::S_OK);
  // Extra leading arguments are ignored.
  EXPECT_EQ(Call("setCookie", {Variant(int32_t{7}), Variant("b"), Variant("2")}), automation::S_OK);
  // Too few, or a type that is not exactly a string: nothing, and success.
  EXPECT_EQ(Call("setCookie", {Variant("c")}), automation::S_OK);
  EXPECT_EQ(Call("setCookie", {Variant("c"), Variant(int32_t{3})}), automation::S_OK);
  EXPECT_EQ(Call("Popup", {Variant("p.htm"), Variant(int32_t{1}), Variant(int32_t{2}),
                           Variant(int32_t{300}), Variant(int32_t{200})}),
            automation::S_OK);
  // A Double or a 16-bit integer where a 32-bit one is declared: nothing.
  EXPECT_EQ(Call("Popup", {Variant("p.htm"), Variant(1.5), Variant(int32_t{2}),
                           Variant(int32_t{300}), Variant(int32_t{200})}),
            automation::S_OK);
  EXPECT_EQ(Call("Popup2", {Variant("<b>x</b>"), Variant(int16_t{1}), Variant(int32_t{2}),
                            Variant(int32_t{3}), Variant(int32_t{4})}),
            automation::S_OK);
  EXPECT_EQ(Call("Popup2", {Variant("<b>x</b>"), Variant(int32_t{1}), Variant(int32_t{2}),
                            Variant(int32_t{3})}),
            automation::S_OK);
  EXPECT_EQ(Call("ConfigureSearch", {Variant("w"), Variant("v"), Variant("t")}), automation::S_OK);
  EXPECT_EQ(Call("delCookie", {Variant("a")}), automation::S_OK);
  EXPECT_EQ(Call("appendChip", {Variant("done"), Variant("l1")}), automation::S_OK);
  // Methods without parameters take any arguments.
  EXPECT_EQ(Call("Print", {Variant(1.5), Variant("x")}), automation::S_OK);
  EXPECT_EQ(Call("save", {}), automation::S_OK);
  EXPECT_EQ(host_->calls, (std::vector<std::string>{
                              "setCookie a=1",
                              "setCookie b=2",
                              "Popup p.htm 1,2,300x200",
                              "ConfigureSearch w,v,t",
                              "delCookie a",
                              "appendChip done=l1",
                              "Print",
                              "save",
                          }));
}

TEST_F(ExternalObjectTest, ReadsGiveStringsAndGetCookieAlonePunishesBadArguments) {
  Variant result;
  EXPECT_EQ(Call("GetCookie", {Variant("name")}, &result), automation::S_OK);
  EXPECT_EQ(result, Variant("value of name"));
  EXPECT_EQ(Call("GetCookie", {}, &result), automation::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call("GetCookie", {Variant(int32_t{1})}, &result), automation::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call("GetCookie", {Variant("name")}, nullptr), automation::E_POINTER);

  Variant page;
  EXPECT_EQ(Call("Search", {Variant("water")}, &page), automation::S_OK);
  EXPECT_EQ(page, Variant("<html>found</html>"));
  // No result page: the result stays as it was, and the call succeeds.
  host_->search_page.clear();
  Variant untouched;
  EXPECT_EQ(Call("Search", {Variant("none")}, &untouched), automation::S_OK);
  EXPECT_TRUE(untouched.IsEmpty());
  EXPECT_EQ(Call("Search", {Variant(int32_t{5})}, &untouched), automation::S_OK);

  // What only the program itself calls, and ids the interface lacks.
  for (const char* name : {"Run", "Write", "GetHwnd"}) {
    EXPECT_EQ(Call(name, {}), automation::DISP_E_MEMBERNOTFOUND) << name;
  }
  EXPECT_THROW(external_->Invoke(999, automation::DISPATCH_METHOD, {}, nullptr),
               automation::AutomationError);
  EXPECT_EQ(host_->calls,
            (std::vector<std::string>{"GetCookie name", "Search water", "Search none"}));
}

TEST_F(ExternalObjectTest, AWindowThatHasGoneDoesNothing) {
  host_.reset();
  Variant result;
  EXPECT_EQ(Call("GetCookie", {Variant("name")}, &result), automation::S_OK);
  EXPECT_EQ(result, Variant(""));
  EXPECT_EQ(Call("Stop", {}), automation::S_OK);
  EXPECT_EQ(Call("setCookie", {Variant("a"), Variant("1")}), automation::S_OK);
}

TEST_F(ExternalObjectTest, ScriptValuesReachItWithTheirWireTypes) {
  // As page script calls it: External.Get, then calls by name with the
  // types script values travel as (integers I4, other numbers R8).
  ObjectServer server;
  CallRequest get;
  get.op = Op::kExternalGet;
  CallReply reply;
  server.Call(get, &reply);
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.error.number, automation::HResultFromRuntimeError(438));

  server.SetExternal(external_);
  server.Call(get, &reply);
  ASSERT_TRUE(reply.ok) << reply.error.description;
  const Handle handle = reply.values.at(0).object.handle;
  auto invoke = [&](const std::string& name, std::vector<Value> args) {
    CallRequest request;
    request.op = Op::kObjectInvoke;
    request.handle = handle;
    request.name = name;
    request.flags = automation::DISPATCH_METHOD | automation::DISPATCH_PROPERTYGET;
    request.args = std::move(args);
    CallReply answer;
    server.Call(request, &answer);
    return answer;
  };
  EXPECT_TRUE(invoke("Popup2", {Value::String("<p>"), Value::R8(1.5), Value::I4(0), Value::I4(9),
                                Value::I4(9)})
                  .ok);
  EXPECT_TRUE(invoke("popup2",
                     {Value::String("<p>"), Value::I4(1), Value::I4(0), Value::I4(9), Value::I4(8)})
                  .ok);
  const CallReply bad = invoke("GetCookie", {});
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error.number, automation::DISP_E_BADPARAMCOUNT);
  const CallReply good = invoke("GetCookie", {Value::String("x")});
  ASSERT_TRUE(good.ok);
  EXPECT_EQ(good.values.at(0), Value::String("value of x"));
  EXPECT_EQ(host_->calls, (std::vector<std::string>{"Popup2 <p> 1,0,9x8", "GetCookie x"}));
}

}  // namespace
}  // namespace norwin::bridge
