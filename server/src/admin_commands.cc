#include "admin_commands.h"

#include <algorithm>
#include <cstdio>

namespace norwin::server {

RecordKey KeyOfLocation(RecordStore& store, const std::string& location,
                        const std::optional<std::string>& space) {
  std::string path = location;
  if (const size_t scheme = path.find("://"); scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path.erase(0, std::min(slash, path.size()));
  }
  if (!path.starts_with("/")) path = "/" + path;
  RecordKey key;
  const size_t last = path.rfind('/');
  key.name = path.substr(last + 1);
  std::string head = path.substr(0, last + 1);
  if (const size_t query = head.find('?'); query != std::string::npos) {
    std::string app = head.substr(0, query);
    if (!app.ends_with("/")) app += "/";
    const size_t second = head.rfind('?');
    std::string sub = second == query ? "" : head.substr(second + 1);
    if (sub.starts_with("/")) sub.erase(0, 1);
    head = app + sub;
  }
  if (space) {
    key.space = *space;
  } else if (store.HasTokens()) {
    const size_t end = head.find('/', 1);
    if (end != std::string::npos) {
      if (std::optional<std::string> found = store.SpaceOfToken(head.substr(1, end - 1))) {
        key.space = *found;
        head = head.substr(end);
      }
    }
  }
  key.folder = head;
  return key;
}

int TokenAdd(RecordStore& store, const std::string& space) {
  const std::string token = store.AddToken(space);
  std::printf("New access token for namespace \"%s\"; locations begin http://SERVER/%s/\n%s\n",
              space.c_str(), token.c_str(), token.c_str());
  return 0;
}

int TokenList(RecordStore& store) {
  for (const AccessToken& token : store.Tokens()) {
    std::printf("%s  %-20s  %s%s\n", token.token.c_str(), token.space.c_str(),
                token.created_at.c_str(), token.revoked ? "  revoked" : "");
  }
  return 0;
}

int TokenRevoke(RecordStore& store, const std::string& token) {
  if (!store.RevokeToken(token)) {
    std::fprintf(stderr, "norwin-server: no valid token %s\n", token.c_str());
    return 1;
  }
  std::printf("Revoked %s\n", token.c_str());
  return 0;
}

int ListVersions(RecordStore& store, const RecordKey& key) {
  const std::vector<RecordVersion> versions = store.Versions(key);
  if (versions.empty()) {
    std::fprintf(stderr, "norwin-server: no versions of %s%s\n", key.folder.c_str(),
                 key.name.c_str());
    return 1;
  }
  for (const RecordVersion& v : versions) {
    std::printf("%lld  %s  %s\n", static_cast<long long>(v.version), v.saved_at.c_str(),
                v.deleted ? "deleted" : (std::to_string(v.size) + " bytes").c_str());
  }
  return 0;
}

int RestoreVersion(RecordStore& store, const RecordKey& key, std::optional<int64_t> version) {
  const std::vector<RecordVersion> versions = store.Versions(key);
  if (!version) {
    // The newest kept document older than the current state.
    for (size_t i = 1; i < versions.size(); ++i) {
      if (!versions[i].deleted) {
        version = versions[i].version;
        break;
      }
    }
  }
  const std::string where = key.folder + key.name;
  if (!version || !store.Restore(key, *version)) {
    std::fprintf(stderr, "norwin-server: no version %s of %s to restore\n",
                 version ? std::to_string(*version).c_str() : "", where.c_str());
    return 1;
  }
  std::printf("Restored %s to version %lld\n", where.c_str(), static_cast<long long>(*version));
  return 0;
}

}  // namespace norwin::server
