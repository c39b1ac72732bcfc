#include "norwin/server/access.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <sys/random.h>

#include <cstring>
#include <stdexcept>

namespace norwin::server {

namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  return out;
}

// Parses an address into 16 bytes (IPv4 as an IPv4-mapped IPv6 address,
// so that a v4 client of a dual-stack socket matches a v4 network).
bool ParseAddress(std::string_view text, unsigned char out[16], bool* v4) {
  const std::string address(text);
  in_addr a4{};
  if (inet_pton(AF_INET, address.c_str(), &a4) == 1) {
    std::memset(out, 0, 10);
    out[10] = out[11] = 0xff;
    std::memcpy(out + 12, &a4, 4);
    *v4 = true;
    return true;
  }
  in6_addr a6{};
  if (inet_pton(AF_INET6, address.c_str(), &a6) == 1) {
    std::memcpy(out, &a6, 16);
    *v4 = false;
    return true;
  }
  return false;
}

}  // namespace

std::string Md5Hex(std::string_view text) {
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), hash, &size, EVP_md5(), nullptr);
  return Hex(hash, size);
}

std::string LoginKeys::Issue(Clock::time_point now) {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) throw std::runtime_error("no random numbers for a login key");
    got += static_cast<size_t>(n);
  }
  std::string key = Hex(bytes, sizeof bytes);
  std::lock_guard lock(mutex_);
  DropExpired(now);
  keys_[key] = Entry{now + kKeyLifetime, false};
  return key;
}

bool LoginKeys::Validate(std::string_view key, std::string_view value, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  DropExpired(now);
  auto found = keys_.find(key);
  if (found == keys_.end() || found->second.validated) return false;
  if (value != Md5Hex(key)) return false;
  found->second = Entry{now + kSessionLifetime, true};
  return true;
}

bool LoginKeys::IsValidated(std::string_view key, std::string_view value, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  auto found = keys_.find(key);
  return found != keys_.end() && found->second.validated && found->second.expires > now &&
         value == Md5Hex(key);
}

void LoginKeys::DropExpired(Clock::time_point now) {
  std::erase_if(keys_, [now](const auto& entry) { return entry.second.expires <= now; });
}

bool NetworkAllowList::Add(std::string_view network) {
  Network parsed;
  std::string_view address = network;
  int bits = -1;
  if (const size_t slash = network.find('/'); slash != std::string_view::npos) {
    address = network.substr(0, slash);
    const std::string digits(network.substr(slash + 1));
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    bits = std::stoi(digits);
  }
  bool v4 = false;
  if (!ParseAddress(address, parsed.bytes, &v4)) return false;
  const int width = v4 ? 32 : 128;
  if (bits < 0) bits = width;
  if (bits > width) return false;
  parsed.bits = bits + (v4 ? 96 : 0);
  networks_.push_back(parsed);
  return true;
}

bool NetworkAllowList::Allows(std::string_view address) const {
  if (networks_.empty()) return true;
  unsigned char bytes[16];
  bool v4 = false;
  if (!ParseAddress(address, bytes, &v4)) return false;
  for (const Network& network : networks_) {
    int bits = network.bits;
    bool match = true;
    for (int i = 0; i < 16 && bits > 0 && match; ++i, bits -= 8) {
      const unsigned mask = bits >= 8 ? 0xffu : (0xffu << (8 - bits)) & 0xffu;
      match = (bytes[i] & mask) == (network.bytes[i] & mask);
    }
    if (match) return true;
  }
  return false;
}

}  // namespace norwin::server
