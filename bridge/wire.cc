#include "norwin/bridge/wire.h"

#include <cstring>

#include "norwin/bridge/packed_text.h"

namespace norwin::bridge {
namespace {

void PutU8(uint8_t v, std::string* out) { out->push_back(static_cast<char>(v)); }

template <typename T>
void PutLe(T v, std::string* out) {
  const auto bits = static_cast<uint64_t>(v);
  for (size_t i = 0; i < sizeof(T); ++i)
    out->push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

// Reserves the length prefix; Finish writes it once the body is complete.
size_t Begin(FrameKind kind, std::string* out) {
  const size_t start = out->size();
  out->append(kFrameHeader, '\0');
  PutU8(static_cast<uint8_t>(kind), out);
  return start;
}

void Finish(size_t start, std::string* out) {
  const auto length = static_cast<uint32_t>(out->size() - start - kFrameHeader);
  for (size_t i = 0; i < kFrameHeader; ++i) {
    (*out)[start + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
}

// Whether the call carries a name as its first value (as the shims send it).
bool IsNamed(const CallRequest& request) {
  return request.op == Op::kActiveXCreate || request.op == Op::kObjectMember ||
         (request.op == Op::kObjectInvoke && request.member == kMemberByName);
}

class BodyReader {
 public:
  explicit BodyReader(std::string_view body) : body_(body) {}

  template <typename T>
  bool Get(T* v) {
    if (body_.size() - pos_ < sizeof(T)) return false;
    uint64_t bits = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      bits |= uint64_t{static_cast<unsigned char>(body_[pos_ + i])} << (8 * i);
    }
    pos_ += sizeof(T);
    *v = static_cast<T>(bits);
    return true;
  }
  std::string_view Rest() const { return body_.substr(pos_); }

 private:
  std::string_view body_;
  size_t pos_ = 0;
};

}  // namespace

void AppendHelloFrame(std::string_view token, std::string* out) {
  const size_t start = Begin(FrameKind::kHello, out);
  PutLe<uint32_t>(0, out);
  out->append(token);
  Finish(start, out);
}

void AppendContextOpenFrame(uint64_t page_id, std::string_view address, std::string* out) {
  const size_t start = Begin(FrameKind::kContextOpen, out);
  PutLe<uint32_t>(0, out);
  PutLe<uint64_t>(page_id, out);
  out->append(address);
  Finish(start, out);
}

void AppendContextCloseFrame(uint32_t context, std::string* out) {
  const size_t start = Begin(FrameKind::kContextClose, out);
  PutLe<uint32_t>(context, out);
  Finish(start, out);
}

void AppendCallFrame(uint32_t context, const CallRequest& request, std::string* out) {
  const size_t start = Begin(FrameKind::kCall, out);
  PutLe<uint32_t>(context, out);
  PutU8(static_cast<uint8_t>(request.op), out);
  PutLe<uint32_t>(request.handle, out);
  PutLe<int32_t>(request.member, out);
  PutLe<uint16_t>(request.flags, out);
  PutLe<uint32_t>(request.count, out);
  if (IsNamed(request)) AppendPackedValue(Value::String(request.name), out);
  for (const Value& value : request.args) AppendPackedValue(value, out);
  Finish(start, out);
}

void AppendReleaseFrame(uint32_t context, Handle handle, std::string* out) {
  const size_t start = Begin(FrameKind::kRelease, out);
  PutLe<uint32_t>(context, out);
  PutLe<uint32_t>(handle, out);
  Finish(start, out);
}

void AppendReplyFrame(std::string_view packed_reply, std::string* out) {
  PutLe<uint32_t>(static_cast<uint32_t>(packed_reply.size()), out);
  out->append(packed_reply);
}

uint32_t FrameBodyLength(std::string_view data) {
  uint32_t length = 0;
  for (size_t i = 0; i < kFrameHeader; ++i) {
    length |= uint32_t{static_cast<unsigned char>(data[i])} << (8 * i);
  }
  return length;
}

Status ReadFrame(std::string_view body, Frame* frame) {
  BodyReader reader(body);
  uint8_t kind = 0;
  if (!reader.Get(&kind) || !reader.Get(&frame->context)) {
    return Status::Error("bridge frame cut short");
  }
  frame->text.clear();
  frame->page_id = 0;
  frame->request = CallRequest();
  switch (static_cast<FrameKind>(kind)) {
    case FrameKind::kHello:
      frame->kind = FrameKind::kHello;
      frame->text.assign(reader.Rest());
      return Status::Ok();
    case FrameKind::kContextOpen:
      frame->kind = FrameKind::kContextOpen;
      if (!reader.Get(&frame->page_id)) return Status::Error("bridge frame cut short");
      frame->text.assign(reader.Rest());
      return Status::Ok();
    case FrameKind::kContextClose:
      frame->kind = FrameKind::kContextClose;
      return Status::Ok();
    case FrameKind::kRelease:
      frame->kind = FrameKind::kRelease;
      frame->request.op = Op::kObjectRelease;
      if (!reader.Get(&frame->request.handle)) return Status::Error("bridge frame cut short");
      return Status::Ok();
    case FrameKind::kCall:
      break;
    default:
      return Status::Error("unknown bridge frame kind " + std::to_string(kind));
  }
  frame->kind = FrameKind::kCall;
  CallRequest& request = frame->request;
  uint8_t op = 0;
  if (!reader.Get(&op) || !reader.Get(&request.handle) || !reader.Get(&request.member) ||
      !reader.Get(&request.flags) || !reader.Get(&request.count)) {
    return Status::Error("bridge frame cut short");
  }
  const std::optional<CallSpec> known = FindCall(op);
  if (!known || known->reply != Reply::kWaits) {
    return Status::Error("unknown bridge call " + std::to_string(op));
  }
  request.op = known->op;
  if (Status read = ReadPackedValues(reader.Rest(), &request.args); !read.ok()) return read;
  if (IsNamed(request)) {
    if (request.args.empty() || request.args.front().tag != ValueTag::kString) {
      return Status::Error("bridge call without a name");
    }
    request.name = std::move(request.args.front().text);
    request.args.erase(request.args.begin());
  }
  return Status::Ok();
}

}  // namespace norwin::bridge
