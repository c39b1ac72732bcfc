#include "norwin/automation/server_registration.h"

#include <dlfcn.h>

#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "norwin/platform/registry.h"

namespace norwin::automation {

namespace {

using platform::RegEdit;
using platform::Registry;
using platform::RegType;
using platform::RegValue;

std::string ClassesKey(std::string_view below) {
  std::string key = "HKEY_CLASSES_ROOT\\";
  key.append(below);
  return key;
}

// The class object GetClassObjectFrom hands out.
class TableClassFactory final : public ClassFactory {
 public:
  explicit TableClassFactory(Ref<Object> (*create)()) : create_(create) {}

  HResult CreateInstance(Object** instance) noexcept override {
    *instance = nullptr;
    try {
      Ref<Object> object = create_();
      if (!object) return E_FAIL;
      *instance = object.Detach();
      return S_OK;
    } catch (const AutomationError& e) {
      if (!Failed(e.number)) return E_FAIL;
      SetErrorInfo(e);
      return e.number;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  Ref<Object> (*create_)();
};

}  // namespace

Status RegisterInprocClasses(std::span<const InprocClass> classes, std::string_view library_path,
                             const Guid* type_library) {
  std::vector<RegEdit> edits;
  for (const InprocClass& c : classes) {
    const std::string clsid = c.clsid.ToString();
    const std::string description(c.description.empty() ? c.progid : c.description);
    const std::string progid_key = ClassesKey(c.progid);
    const std::string clsid_key = ClassesKey("CLSID\\" + clsid);
    // A key left from an earlier registration may hold values we no longer
    // write; start both keys afresh.
    edits.push_back(RegEdit::DeleteTree(progid_key));
    edits.push_back(RegEdit::DeleteTree(clsid_key));
    edits.push_back(RegEdit::SetValue(progid_key, "", RegValue::String(description)));
    edits.push_back(RegEdit::SetValue(progid_key + "\\CLSID", "", RegValue::String(clsid)));
    edits.push_back(RegEdit::SetValue(clsid_key, "", RegValue::String(description)));
    edits.push_back(RegEdit::SetValue(clsid_key + "\\InprocServer32", "",
                                      RegValue::String(std::string(library_path))));
    edits.push_back(RegEdit::SetValue(clsid_key + "\\InprocServer32", "ThreadingModel",
                                      RegValue::String("Apartment")));
    edits.push_back(
        RegEdit::SetValue(clsid_key + "\\ProgID", "", RegValue::String(std::string(c.progid))));
    if (type_library) {
      edits.push_back(RegEdit::SetValue(clsid_key + "\\TypeLib", "",
                                        RegValue::String(type_library->ToString())));
    }
  }
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  return (*registry)->Apply(edits);
}

Status UnregisterInprocClasses(std::span<const InprocClass> classes) {
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  std::vector<RegEdit> edits;
  for (const InprocClass& c : classes) {
    const std::string clsid = c.clsid.ToString();
    const std::string progid_key = ClassesKey(c.progid);
    Result<std::optional<RegValue>> named = (*registry)->GetValue(progid_key + "\\CLSID", "");
    if (!named.ok()) return named.status();
    const bool ours = !*named || (*named)->type != RegType::kSz ||
                      Guid::Parse((*named)->text) == std::optional<Guid>(c.clsid);
    if (ours) edits.push_back(RegEdit::DeleteTree(progid_key));
    edits.push_back(RegEdit::DeleteTree(ClassesKey("CLSID\\" + clsid)));
  }
  return (*registry)->Apply(edits);
}

HResult GetClassObjectFrom(std::span<const InprocClass> classes, const Guid* clsid,
                           ClassFactory** factory) noexcept {
  if (!factory) return E_POINTER;
  *factory = nullptr;
  if (!clsid) return E_POINTER;
  for (const InprocClass& c : classes) {
    if (c.clsid != *clsid) continue;
    try {
      *factory = MakeRef<TableClassFactory>(c.create).Detach();
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

Result<std::string> LibraryPathOf(const void* address) {
  Dl_info info;
  if (dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) {
    return Status::Error("the address lies in no loaded library");
  }
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(info.dli_fname, ec);
  if (ec) return Status::Error(std::string(info.dli_fname) + ": " + ec.message());
  return path.lexically_normal().string();
}

}  // namespace norwin::automation
