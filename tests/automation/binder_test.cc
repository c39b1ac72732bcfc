#include "norwin/automation/binder.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "automation/support/probe_object.h"
#include "norwin/automation/dispatch.h"

namespace norwin::automation {
namespace {

using testing::ProbeObject;

// A class of the shape the record classes have.
class Roster : public Object {
 public:
  NORWIN_BOUND_CLASS();

  explicit Roster(int* destroyed = nullptr) : destroyed_(destroyed) {}

  std::string Concat(const std::string& a, std::string_view b) { return a + std::string(b); }
  int32_t Add(int16_t a, int32_t b) const { return a + b; }
  bool Load(const std::string& filename, const Variant& courses) {
    last_filename_ = filename;
    last_courses_ = courses;
    return !filename.empty();
  }
  std::string Sort(std::string f1, std::string f2, const std::string& f3) {
    return f1 + "|" + f2 + "|" + f3;
  }
  Variant Mark(const Variant& value) { return value; }
  int32_t Count() const { return static_cast<int32_t>(names_.size()); }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  Ref<Roster> Child() const { return child_; }
  void SetChild(Ref<Roster> child) { child_ = std::move(child); }
  bool Validate(const Variant& courses, OutArg<> code, OutArg<std::string> text) {
    if (courses.IsNull()) return true;
    code.Set(Variant(631));
    text.Set("Course is invalid - " + ToString(courses));
    return false;
  }
  void Swap(Variant& a, Variant& b) { a.swap(b); }
  void Bump(OutArg<int32_t> counter) { counter.Set(counter.Get() + 1); }
  Variant Item(const Variant& index) {
    const int32_t i = ToInt32(index);
    if (i < 1 || i > Count()) throw RuntimeError(kSubscriptOutOfRange);
    return Variant(names_[i - 1]);
  }
  void SetItem(int32_t index, const std::string& value) { names_.at(index - 1) = value; }
  Ref<Enumerator> NewEnum() {
    std::vector<Variant> items(names_.begin(), names_.end());
    return MakeSnapshotEnumerator(std::move(items));
  }
  int32_t Echo(const std::string& first, std::span<const Variant> rest) {
    echoed_ = first;
    for (const Variant& v : rest) echoed_ += "," + ToString(v);
    return static_cast<int32_t>(rest.size());
  }
  bool Adopt(Roster* other) { return other != nullptr; }
  void Fail() { throw AutomationError(ObjectError(635), "Username is required"); }
  void FailWithSource() { throw AutomationError(ObjectError(631), "x", "students:AddStudent"); }
  void FailInCxx() { throw std::out_of_range("index past the end"); }

  std::string last_filename_;
  Variant last_courses_;
  std::string echoed_;
  std::vector<std::string> names_ = {"Ann", "Bob", "Cy"};

 protected:
  ~Roster() override {
    if (destroyed_) ++*destroyed_;
  }

 private:
  int* destroyed_;
  std::string name_;
  Ref<Roster> child_;
};

NORWIN_CLASS(Roster) {
  Method("Concat", &Roster::Concat);
  Method("Add", &Roster::Add);
  Method("Load", &Roster::Load, Optional("Courses", Variant::Null()));
  Method("Sort", &Roster::Sort, Optional("fieldname2", ""), Optional("fieldname3", "z"));
  Method("Mark", &Roster::Mark, Optional("value"));
  Property("Count", &Roster::Count);
  PropertyRW("Name", &Roster::Name, &Roster::SetName);
  PropertyRef("Child", &Roster::Child, &Roster::SetChild);
  Method("Validate", &Roster::Validate);
  Method("Swap", &Roster::Swap);
  Method("Bump", &Roster::Bump);
  PropertyRW("Item", &Roster::Item, &Roster::SetItem).Default();
  NewEnum(&Roster::NewEnum);
  Method("Echo", &Roster::Echo);
  Method("Adopt", &Roster::Adopt);
  Method("Fail", &Roster::Fail);
  Method("FailWithSource", &Roster::FailWithSource);
  Method("FailInCxx", &Roster::FailInCxx);
  Method("Twice", [](Roster&, int32_t x) { return x * 2; });
}

// A class with a default value, as the language converts objects.
class Field : public Object {
 public:
  NORWIN_BOUND_CLASS();
  std::string Value() const { return "42"; }
};

NORWIN_CLASS(Field) { Property("Value", &Field::Value).Default(); }

AutomationError Raised(auto&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no AutomationError";
  return AutomationError(S_OK, "");
}

class BinderTest : public ::testing::Test {
 protected:
  Variant Call(std::string_view name, std::initializer_list<Variant> args) {
    return CallByName(*roster_, name, DISPATCH_METHOD, args);
  }
  Ref<Roster> roster_ = MakeRef<Roster>();
};

TEST_F(BinderTest, FindsMembersByNameInAnyCaseAndCallsByDispid) {
  const DispId load = roster_->FindMember("Load");
  EXPECT_GT(load, 0);
  EXPECT_EQ(roster_->FindMember("LOAD"), load);
  EXPECT_EQ(roster_->FindMember("load"), load);
  EXPECT_NE(roster_->FindMember("Concat"), load);
  EXPECT_EQ(roster_->FindMember("Lo"), DISPID_UNKNOWN);
  EXPECT_EQ(roster_->FindMember("Loads"), DISPID_UNKNOWN);
  EXPECT_EQ(roster_->FindMember(""), DISPID_UNKNOWN);
  EXPECT_EQ(roster_->FindMember("item"), DISPID_VALUE);
  EXPECT_EQ(roster_->FindMember("_NEWENUM"), DISPID_NEWENUM);
  EXPECT_EQ(roster_->TypeName(), "Roster");

  Variant args[] = {Variant("roster.xml"), Variant(7)};
  Variant result;
  roster_->Invoke(load, DISPATCH_METHOD, args, &result);
  EXPECT_EQ(result, Variant(true));
  EXPECT_EQ(roster_->last_filename_, "roster.xml");
  EXPECT_EQ(roster_->last_courses_, Variant(7));
  // A method is callable as a property read too, and a null result is fine.
  roster_->Invoke(load, DISPATCH_PROPERTYGET, args, nullptr);

  EXPECT_EQ(Call("concat", {"ab", "cd"}), Variant("abcd"));
  EXPECT_EQ(Call("TWICE", {21}), Variant(42));

  EXPECT_EQ(roster_->KindOf(roster_->FindMember("Count")), MemberKind::kProperty);
  EXPECT_EQ(roster_->KindOf(load), MemberKind::kMethod);
  EXPECT_EQ(roster_->KindOf(DISPID_VALUE), MemberKind::kMethod);  // needs an index
  EXPECT_EQ(roster_->KindOf(9999), MemberKind::kNone);
}

TEST_F(BinderTest, ArgumentsConvertWithTheLanguagesErrors) {
  EXPECT_EQ(Call("Add", {"3", 4.5}), Variant(7));  // 4.5 rounds to 4
  EXPECT_EQ(Call("Add", {true, Variant()}), Variant(-1));
  EXPECT_EQ(Call("Concat", {12, 2.5}), Variant("122.5"));

  AutomationError mismatch = Raised([&] { Call("Add", {"x", 1}); });
  EXPECT_EQ(mismatch.number, HResultFromRuntimeError(kTypeMismatch));
  EXPECT_EQ(mismatch.description, "Type mismatch");
  EXPECT_EQ(mismatch.source, "Roster.Add");
  // Null does not coerce to a typed parameter.
  EXPECT_EQ(Raised([&] {
              Call("Add", {Variant::Null(), 1});
            }).number,
            HResultFromRuntimeError(kTypeMismatch));
  EXPECT_EQ(Raised([&] {
              Call("Concat", {Variant::Null(), "x"});
            }).number,
            HResultFromRuntimeError(kTypeMismatch));
  EXPECT_EQ(Raised([&] { Call("Add", {40000, 1}); }).number, HResultFromRuntimeError(kOverflow));

  AutomationError too_few = Raised([&] { Call("Add", {1}); });
  EXPECT_EQ(too_few.number, HResultFromRuntimeError(kArgumentNotOptional));
  EXPECT_EQ(too_few.description, "Argument not optional");
  EXPECT_EQ(Raised([&] {
              Call("Add", {1, Variant::Missing()});
            }).number,
            HResultFromRuntimeError(kArgumentNotOptional));
  AutomationError too_many = Raised([&] { Call("Add", {1, 2, 3}); });
  EXPECT_EQ(too_many.number, HResultFromRuntimeError(kWrongArgumentCount));
  EXPECT_EQ(too_many.source, "Roster.Add");

  AutomationError unknown = Raised([&] { Call("Remove", {}); });
  EXPECT_EQ(unknown.number, MakeHResult(0x800A01B6));
  EXPECT_EQ(unknown.description, "Object doesn't support this property or method");
  EXPECT_EQ(unknown.source, "Roster");
  EXPECT_EQ(Raised([&] { roster_->Invoke(4711, DISPATCH_METHOD, {}, nullptr); }).number,
            HResultFromRuntimeError(kObjectDoesNotSupportMember));
}

TEST_F(BinderTest, OptionalArgumentsTakeTheirDefaults) {
  EXPECT_EQ(Call("Load", {"a.xml"}), Variant(true));
  EXPECT_TRUE(roster_->last_courses_.IsNull());
  Call("Load", {"a.xml", Variant::Missing()});
  EXPECT_TRUE(roster_->last_courses_.IsNull());
  Call("Load", {"a.xml", Variant()});
  EXPECT_TRUE(roster_->last_courses_.IsEmpty());

  EXPECT_EQ(Call("Sort", {"LASTNAME"}), Variant("LASTNAME||z"));
  EXPECT_EQ(Call("Sort", {"a", Variant::Missing(), "c"}), Variant("a||c"));
  EXPECT_EQ(Call("Sort", {"a", "b"}), Variant("a|b|z"));
  // A Variant parameter without a default sees that the argument is missing.
  EXPECT_TRUE(Call("Mark", {}).IsMissing());
  EXPECT_EQ(Call("Mark", {"x"}), Variant("x"));
}

TEST_F(BinderTest, OutArgumentsWriteThroughReferences) {
  Variant code, text;
  Variant args[] = {Variant("3"), Variant::ByRef(&code), Variant::ByRef(&text)};
  Variant result;
  roster_->Invoke(roster_->FindMember("Validate"), DISPATCH_METHOD, args, &result);
  EXPECT_EQ(result, Variant(false));
  EXPECT_EQ(code, Variant(631));
  EXPECT_EQ(text, Variant("Course is invalid - 3"));

  // Typed slots take the value converted.
  int16_t small_code = 0;
  std::string plain_text;
  Variant typed[] = {Variant("4"), Variant::ByRef(&small_code), Variant::ByRef(&plain_text)};
  roster_->Invoke(roster_->FindMember("Validate"), DISPATCH_METHOD, typed, nullptr);
  EXPECT_EQ(small_code, 631);
  EXPECT_EQ(plain_text, "Course is invalid - 4");
  // A slot that cannot hold what the member writes fails the call.
  Variant wrong_slot[] = {Variant("5"), Variant(), Variant::ByRef(&small_code)};
  EXPECT_EQ(Raised([&] {
              roster_->Invoke(roster_->FindMember("Validate"), DISPATCH_METHOD, wrong_slot,
                              nullptr);
            }).number,
            HResultFromRuntimeError(kTypeMismatch));
  // Values passed by value: the member writes its own copies; nothing leaks.
  EXPECT_EQ(Call("Validate", {"6", 1, 2}), Variant(false));

  Variant a("first"), b(2);
  Call("Swap", {Variant::ByRef(&a), Variant::ByRef(&b)});
  EXPECT_EQ(a, Variant(2));
  EXPECT_EQ(b, Variant("first"));

  int32_t counter = 41;
  Call("Bump", {Variant::ByRef(&counter)});
  EXPECT_EQ(counter, 42);
  Variant counter_variant("9");
  Call("Bump", {Variant::ByRef(&counter_variant)});
  EXPECT_EQ(counter_variant, Variant(10));
}

TEST_F(BinderTest, PropertiesGetAndPut) {
  CallByName(*roster_, "Name", DISPATCH_PROPERTYPUT, {"Lee"});
  EXPECT_EQ(CallByName(*roster_, "name", DISPATCH_PROPERTYGET), Variant("Lee"));
  EXPECT_EQ(CallByName(*roster_, "Count", DISPATCH_PROPERTYGET), Variant(3));
  EXPECT_EQ(CallByName(*roster_, "Count", DISPATCH_METHOD), Variant(3));

  AutomationError read_only =
      Raised([&] { CallByName(*roster_, "Count", DISPATCH_PROPERTYPUT, {5}); });
  EXPECT_EQ(read_only.number, HResultFromRuntimeError(kObjectDoesNotSupportMember));
  EXPECT_EQ(read_only.source, "Roster.Count");
  EXPECT_EQ(Raised([&] { CallByName(*roster_, "Name", DISPATCH_PROPERTYPUT, {}); }).number,
            HResultFromRuntimeError(kWrongArgumentCount));
  EXPECT_EQ(Raised([&] {
              CallByName(*roster_, "Name", DISPATCH_PROPERTYPUT, {"a", "b"});
            }).number,
            HResultFromRuntimeError(kWrongArgumentCount));
  EXPECT_EQ(Raised([&] { CallByName(*roster_, "Concat", DISPATCH_PROPERTYPUT, {"a"}); }).number,
            HResultFromRuntimeError(kObjectDoesNotSupportMember));

  // The default member, with an index, read and written.
  Variant index[] = {Variant(2)};
  Variant item;
  roster_->Invoke(DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, index, &item);
  EXPECT_EQ(item, Variant("Bob"));
  Variant put[] = {Variant(2), Variant("Bea")};
  roster_->Invoke(DISPID_VALUE, DISPATCH_PROPERTYPUT, put, nullptr);
  EXPECT_EQ(CallByName(*roster_, "Item", DISPATCH_PROPERTYGET, {"2"}), Variant("Bea"));
  AutomationError out_of_range =
      Raised([&] { CallByName(*roster_, "Item", DISPATCH_PROPERTYGET, {9}); });
  EXPECT_EQ(out_of_range.number, HResultFromRuntimeError(kSubscriptOutOfRange));
  EXPECT_EQ(out_of_range.source, "Roster.Item");
}

TEST_F(BinderTest, ObjectPropertiesAndParametersKeepTheirObjectsAlive) {
  int destroyed = 0;
  {
    Ref<Roster> child = MakeRef<Roster>(&destroyed);
    CallByName(*roster_, "Child", DISPATCH_PROPERTYPUTREF, {Variant(child)});
    EXPECT_EQ(child->RefCountForTesting(), 2);
  }
  EXPECT_EQ(destroyed, 0);  // the parent holds it
  Variant got = CallByName(*roster_, "Child", DISPATCH_PROPERTYGET);
  ASSERT_TRUE(got.IsObject());
  EXPECT_EQ(got.object()->TypeName(), "Roster");
  // Script has no Set: a plain put reaches the Set-only property.
  CallByName(*roster_, "Child", DISPATCH_PROPERTYPUT, {Variant::Nothing()});
  EXPECT_EQ(destroyed, 0);  // `got` still holds it
  got = Variant();
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(CallByName(*roster_, "Child", DISPATCH_PROPERTYGET).IsNothing());

  EXPECT_EQ(Raised([&] { CallByName(*roster_, "Child", DISPATCH_PROPERTYPUTREF, {"x"}); }).number,
            HResultFromRuntimeError(kTypeMismatch));
  Ref<ProbeObject> stranger = MakeRef<ProbeObject>(&destroyed);
  EXPECT_EQ(Raised([&] { Call("Adopt", {Variant(stranger)}); }).number,
            HResultFromRuntimeError(kTypeMismatch));
  EXPECT_EQ(Call("Adopt", {Variant(MakeRef<Roster>(&destroyed))}), Variant(true));
  EXPECT_EQ(destroyed, 2);  // the temporary died after the call
  EXPECT_EQ(Call("Adopt", {Variant::Null()}), Variant(false));
  stranger.reset();
  EXPECT_EQ(destroyed, 3);
}

TEST_F(BinderTest, EnumerationAndTrailingArguments) {
  std::vector<std::string> seen;
  for (const Variant& item : Enumerate(*roster_)) seen.push_back(ToString(item));
  EXPECT_EQ(seen, (std::vector<std::string>{"Ann", "Bob", "Cy"}));

  Ref<Enumerator> e = GetEnumerator(*roster_);
  roster_->names_.push_back("Dee");  // the enumeration in progress does not see it
  Variant item;
  int count = 0;
  while (e->Next(&item)) ++count;
  EXPECT_EQ(count, 3);
  EXPECT_FALSE(e->Next(&item));
  e->Reset();
  ASSERT_TRUE(e->Next(&item));
  EXPECT_EQ(item, Variant("Ann"));

  Ref<Field> field = MakeRef<Field>();
  EXPECT_EQ(Raised([&] { GetEnumerator(*field); }).number,
            HResultFromRuntimeError(kObjectDoesNotSupportMember));

  EXPECT_EQ(Call("Echo", {"a"}), Variant(0));
  EXPECT_EQ(roster_->echoed_, "a");
  EXPECT_EQ(Call("Echo", {"a", 1, true, Variant::NullString()}), Variant(3));
  EXPECT_EQ(roster_->echoed_, "a,1,True,");
  EXPECT_EQ(Raised([&] { Call("Echo", {}); }).number,
            HResultFromRuntimeError(kArgumentNotOptional));
}

TEST_F(BinderTest, ErrorsFromMembersPassThroughWithASource) {
  AutomationError raised = Raised([&] { Call("Fail", {}); });
  EXPECT_EQ(raised.number, ObjectError(635));
  EXPECT_EQ(raised.description, "Username is required");
  EXPECT_EQ(raised.source, "Roster.Fail");
  EXPECT_EQ(Raised([&] { Call("FailWithSource", {}); }).source, "students:AddStudent");
  AutomationError cxx = Raised([&] { Call("FailInCxx", {}); });
  EXPECT_EQ(cxx.number, E_FAIL);
  EXPECT_EQ(cxx.description, "index past the end");
}

TEST_F(BinderTest, ObjectsConvertThroughTheirDefaultMember) {
  Variant field(MakeRef<Field>());
  EXPECT_EQ(ToString(field), "42");
  EXPECT_EQ(ToInt32(field), 42);
  EXPECT_TRUE(Equals(field, Variant("42")));
  EXPECT_EQ(Call("Concat", {field, "!"}), Variant("42!"));
  // The default member of Roster needs an index.
  Variant roster(roster_);
  EXPECT_EQ(Raised([&] { ToString(roster); }).number,
            HResultFromRuntimeError(kArgumentNotOptional));
  int destroyed = 0;
  Ref<ProbeObject> plain = MakeRef<ProbeObject>(&destroyed);
  EXPECT_EQ(Raised([&] { ToString(Variant(plain)); }).number,
            HResultFromRuntimeError(kObjectDoesNotSupportMember));
}

}  // namespace
}  // namespace norwin::automation
