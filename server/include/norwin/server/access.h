// Who may use the record pages of norwin-server.
//
// Login keys: LoginKey.asp issues a random key that expires within minutes
// and can be validated once; Login.asp validates it when the value sent is
// the MD5 digest (lower-case hexadecimal) of the key, as the record
// library's login computes it. From then on the key and its value form the
// validation string the library appends to every record request; with
// login required, a record request without a validated pair is refused.
//
// Networks: an allow-list of IPv4 and IPv6 networks ("10.0.0.0/8",
// "::1/128", a bare address for one host); empty allows everyone.
//
// Thread safe; the clock is passed in so that tests can move it.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norwin::server {

class LoginKeys {
 public:
  using Clock = std::chrono::steady_clock;
  // How long an issued key may wait for its Login.asp, and how long a
  // validated one stays good (a school day).
  static constexpr std::chrono::minutes kKeyLifetime{5};
  static constexpr std::chrono::hours kSessionLifetime{12};

  // A new random key (32 hexadecimal digits).
  std::string Issue(Clock::time_point now = Clock::now());
  // True once for an issued, unexpired key whose `value` is its digest.
  bool Validate(std::string_view key, std::string_view value, Clock::time_point now = Clock::now());
  // Whether `key` was validated, is unexpired and `value` is its digest.
  bool IsValidated(std::string_view key, std::string_view value,
                   Clock::time_point now = Clock::now());

 private:
  struct Entry {
    Clock::time_point expires;
    bool validated = false;
  };
  void DropExpired(Clock::time_point now);

  std::mutex mutex_;
  std::map<std::string, Entry, std::less<>> keys_;
};

// MD5 of `text` in lower-case hexadecimal.
std::string Md5Hex(std::string_view text);

class NetworkAllowList {
 public:
  // Adds "ADDRESS[/BITS]"; false when it is no network.
  [[nodiscard]] bool Add(std::string_view network);
  // Whether `address` (as the server saw the client) may ask; true when
  // the list is empty.
  bool Allows(std::string_view address) const;
  bool empty() const { return networks_.empty(); }

 private:
  struct Network {
    int family = 0;
    unsigned char bytes[16] = {};
    int bits = 0;
  };
  std::vector<Network> networks_;
};

}  // namespace norwin::server
