#include "norwin/datalayer/module_disc_manager.h"

#include <optional>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/xml_dom.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/http.h"

namespace norwin::datalayer {

namespace {

using automation::Variant;

// Reads the document at `name` as a DOM's load does: a file, or the answer
// to a GET of an http: address.
bool LoadDocument(XmlDocument& doc, const std::string& name) {
  if (IsURL(name)) {
    const ServerTimeLimits limits = GetServerTimeLimits();
    platform::HttpRequest request;
    request.url = name;
    request.connect_timeout = limits.connect;
    request.total_timeout = limits.total;
    Result<platform::HttpResponse> response = platform::DefaultHttpClient().Send(request);
    return response.ok() && response->status == 200 && doc.LoadXml(response->body).ok();
  }
  Result<std::filesystem::path> path = platform::ResolveCoursePath(name);
  return path.ok() && doc.Load(*path).ok();
}

}  // namespace

automation::Ref<automation::Dictionary> ModuleDiscManager::moduleHash() {
  if (!hash_) hash_ = automation::MakeRef<automation::Dictionary>();
  return hash_;
}

void ModuleDiscManager::SetModuleHash(automation::Ref<automation::Dictionary> hash) {
  hash_ = std::move(hash);
}

bool ModuleDiscManager::LoadConfigFile(const std::string& xml_file_name) {
  XmlDocument doc;
  if (!LoadDocument(doc, xml_file_name)) return false;
  automation::Dictionary& hash = *moduleHash();
  for (XmlNode module : doc.DocumentElement().ChildNodes()) {
    if (module.NodeType() != XmlNodeType::kElement || module.NodeName() != "module") continue;
    std::optional<std::string> name = AttributeText(module, "name");
    std::optional<std::string> file = AttributeText(module, "file");
    if (!name || !file) continue;
    hash.Add(Variant(std::move(*name)), Variant(std::move(*file)));
  }
  return true;
}

std::string ModuleDiscManager::GetFileForModule(const std::string& module_name) {
  const Variant* file = moduleHash()->FindText(module_name);
  return file ? automation::ToString(*file) : std::string("Error");
}

NORWIN_CLASS(ModuleDiscManager) {
  PropertyRef("moduleHash", &ModuleDiscManager::moduleHash, &ModuleDiscManager::SetModuleHash);
  Method("LoadConfigFile", &ModuleDiscManager::LoadConfigFile);
  Method("GetFileForModule", &ModuleDiscManager::GetFileForModule);
}

}  // namespace norwin::datalayer
