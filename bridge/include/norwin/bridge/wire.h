// The frames that carry bridge calls over the private socket between lumo's
// web-process extension (one connection per web process) and the UI
// process, which owns every object.
//
// A frame is a 32-bit little-endian length and that many bytes of body. A
// request body begins with its kind and the id of the script context (one
// per frame document) it belongs to:
//
//   Hello(token)                       => () | error    first, once; proves the peer
//   Context.Open(page id, address)     => I4 context id | error (untrusted page)
//   Context.Close(context)             =|               the document went away
//   Call(context, CallRequest)         => packed reply  calls.h, all but Object.Release
//   Release(context, handle)           =|               Object.Release
//
// A reply body is the packed reply of packed_text.h. The web process writes
// a request and, for `=>`, waits for the reply before it writes anything
// else, so replies need no ids. The codec depends on nothing but the
// protocol, so that both sides use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/bridge/calls.h"
#include "norwin/platform/status.h"

namespace norwin::bridge {

enum class FrameKind : uint8_t {
  kHello = 1,
  kContextOpen = 2,
  kContextClose = 3,
  kCall = 4,
  kRelease = 5,
};

// The largest body either side accepts; a peer that announces more is
// dropped rather than trusted with the memory.
inline constexpr uint32_t kMaxFrameBody = uint32_t{64} << 20;
// The bytes of a frame's length prefix.
inline constexpr size_t kFrameHeader = 4;

// A decoded request body. `text` is the token (Hello) or the address
// (Context.Open); `request` is filled for Call and (its handle) Release.
struct Frame {
  FrameKind kind = FrameKind::kHello;
  uint32_t context = 0;
  uint64_t page_id = 0;
  std::string text;
  CallRequest request;
};

// Appends a whole frame (length prefix included) to `out`.
void AppendHelloFrame(std::string_view token, std::string* out);
void AppendContextOpenFrame(uint64_t page_id, std::string_view address, std::string* out);
void AppendContextCloseFrame(uint32_t context, std::string* out);
// `request` must not be Object.Release; that is AppendReleaseFrame.
void AppendCallFrame(uint32_t context, const CallRequest& request, std::string* out);
void AppendReleaseFrame(uint32_t context, Handle handle, std::string* out);
// A reply frame holding `packed_reply`.
void AppendReplyFrame(std::string_view packed_reply, std::string* out);

// The body length announced by the first kFrameHeader bytes of `data`
// (which must hold them).
uint32_t FrameBodyLength(std::string_view data);

// Reads a request body (without its length prefix). Fails, describing the
// fault, for a body that is cut short, of an unknown kind or call, or whose
// values do not read.
[[nodiscard]] Status ReadFrame(std::string_view body, Frame* frame);

}  // namespace norwin::bridge
