// The frames between lumo's web processes and its UI process.
#include "norwin/bridge/wire.h"

#include <gtest/gtest.h>

namespace norwin::bridge {
namespace {

// Reads the one whole frame in `bytes`.
Frame ReadWhole(const std::string& bytes) {
  EXPECT_GE(bytes.size(), kFrameHeader);
  EXPECT_EQ(FrameBodyLength(bytes), bytes.size() - kFrameHeader);
  Frame frame;
  const Status read = ReadFrame(std::string_view(bytes).substr(kFrameHeader), &frame);
  EXPECT_TRUE(read.ok()) << read.message();
  return frame;
}

TEST(WireTest, FramesReadBackAsWritten) {
  std::string bytes;
  AppendHelloFrame("token-123", &bytes);
  Frame frame = ReadWhole(bytes);
  EXPECT_EQ(frame.kind, FrameKind::kHello);
  EXPECT_EQ(frame.text, "token-123");

  bytes.clear();
  AppendContextOpenFrame(0x1122334455667788ull, "file:///d/start.htm", &bytes);
  frame = ReadWhole(bytes);
  EXPECT_EQ(frame.kind, FrameKind::kContextOpen);
  EXPECT_EQ(frame.page_id, 0x1122334455667788ull);
  EXPECT_EQ(frame.text, "file:///d/start.htm");

  bytes.clear();
  AppendContextCloseFrame(77, &bytes);
  frame = ReadWhole(bytes);
  EXPECT_EQ(frame.kind, FrameKind::kContextClose);
  EXPECT_EQ(frame.context, 77u);

  bytes.clear();
  AppendReleaseFrame(5, 0xFF000001u, &bytes);
  frame = ReadWhole(bytes);
  EXPECT_EQ(frame.kind, FrameKind::kRelease);
  EXPECT_EQ(frame.context, 5u);
  EXPECT_EQ(frame.request.handle, 0xFF000001u);

  CallRequest call;
  call.op = Op::kObjectInvoke;
  call.handle = 9;
  call.member = kMemberByName;
  call.flags = kFlagMethod | kFlagPropertyGet;
  call.name = "setCookie";
  call.args = {Value::String(std::string("a\0b", 3)), Value::I4(-3), Value::R8(1.5),
               Value::NullString()};
  bytes.clear();
  AppendCallFrame(12, call, &bytes);
  frame = ReadWhole(bytes);
  EXPECT_EQ(frame.kind, FrameKind::kCall);
  EXPECT_EQ(frame.context, 12u);
  EXPECT_EQ(frame.request.op, Op::kObjectInvoke);
  EXPECT_EQ(frame.request.handle, 9u);
  EXPECT_EQ(frame.request.member, kMemberByName);
  EXPECT_EQ(frame.request.flags, call.flags);
  EXPECT_EQ(frame.request.name, "setCookie");
  EXPECT_EQ(frame.request.args, call.args);

  // A call by dispatch id carries no name; External.Get carries nothing.
  call.member = 524;
  call.name.clear();
  bytes.clear();
  AppendCallFrame(12, call, &bytes);
  frame = ReadWhole(bytes);
  EXPECT_EQ(frame.request.member, 524);
  EXPECT_EQ(frame.request.args.size(), 4u);
  CallRequest external;
  external.op = Op::kExternalGet;
  bytes.clear();
  AppendCallFrame(1, external, &bytes);
  EXPECT_EQ(ReadWhole(bytes).request.op, Op::kExternalGet);

  bytes.clear();
  AppendReplyFrame("I5;", &bytes);
  EXPECT_EQ(FrameBodyLength(bytes), 3u);
  EXPECT_EQ(bytes.substr(kFrameHeader), "I5;");
}

TEST(WireTest, DamagedFramesAreRefused) {
  CallRequest call;
  call.op = Op::kActiveXCreate;
  call.name = "Scripting.Dictionary";
  std::string bytes;
  AppendCallFrame(3, call, &bytes);
  const std::string body = bytes.substr(kFrameHeader);
  Frame frame;
  // Every cut inside the fixed fields fails; none reads as another call.
  for (size_t size = 0; size < 16; ++size) {
    EXPECT_FALSE(ReadFrame(body.substr(0, size), &frame).ok()) << size;
  }
  std::string unknown_kind = body;
  unknown_kind[0] = 99;
  EXPECT_FALSE(ReadFrame(unknown_kind, &frame).ok());
  std::string unknown_call = body;
  unknown_call[5] = 42;
  EXPECT_FALSE(ReadFrame(unknown_call, &frame).ok());
  // Object.Release travels as its own frame kind, never as a call.
  std::string release_call = body;
  release_call[5] = static_cast<char>(Op::kObjectRelease);
  EXPECT_FALSE(ReadFrame(release_call, &frame).ok());
  // A named call whose first value is no string.
  CallRequest nameless;
  nameless.op = Op::kObjectMember;
  bytes.clear();
  AppendCallFrame(3, nameless, &bytes);
  std::string no_name = bytes.substr(kFrameHeader, 20) + "I1;";
  EXPECT_FALSE(ReadFrame(no_name, &frame).ok());
  EXPECT_FALSE(ReadFrame(body + "Q", &frame).ok());
}

}  // namespace
}  // namespace norwin::bridge
