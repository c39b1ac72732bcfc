#include "norwin/bridge/external_object.h"

#include <array>

#include "norwin/automation/error.h"

namespace norwin::bridge {

namespace automation = ::norwin::automation;
using automation::DispId;
using automation::Variant;
using automation::VarType;

namespace {

namespace id = external_dispid;

struct MemberName {
  std::string_view name;
  DispId id;
};

// The names of the type library, as GetIDsOfNames resolves them.
constexpr std::array<MemberName, 21> kMembers{{
    {"Run", id::kRun},
    {"Write", id::kWrite},
    {"Stop", id::kStop},
    {"GetHwnd", id::kGetHwnd},
    {"Print", id::kPrint},
    {"Minimize", id::kMinimize},
    {"Restore", id::kRestore},
    {"ShellExec", id::kShellExec},
    {"GetCookie", id::kGetCookie},
    {"appendChip", id::kAppendChip},
    {"ConfigureSearch", id::kConfigureSearch},
    {"Search", id::kSearch},
    {"Popup", id::kPopup},
    {"Popup2", id::kPopup2},
    {"setCookie", id::kSetCookie},
    {"PrintStr", id::kPrintStr},
    {"delCookie", id::kDelCookie},
    {"open", id::kOpen},
    {"save", id::kSave},
    {"saveMsg", id::kSaveMsg},
    {"SetKey", id::kSetKey},
}};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The last `types.size()` arguments when there are that many and each has
// exactly the type asked for; an empty span otherwise.
std::span<const Variant> Take(std::span<const Variant> args, std::initializer_list<VarType> types) {
  if (args.size() < types.size()) return {};
  const std::span<const Variant> last = args.last(types.size());
  size_t i = 0;
  for (VarType type : types) {
    if (last[i++].type() != type) return {};
  }
  return last;
}

constexpr VarType S = automation::VT_BSTR;
constexpr VarType L = automation::VT_I4;

}  // namespace

DispId ExternalObject::FindMember(std::string_view name) const {
  for (const MemberName& member : kMembers) {
    if (EqualsIgnoringCase(member.name, name)) return member.id;
  }
  return automation::DISPID_UNKNOWN;
}

automation::MemberKind ExternalObject::KindOf(DispId dispid) const {
  for (const MemberName& member : kMembers) {
    if (member.id == dispid) return automation::MemberKind::kMethod;
  }
  return automation::MemberKind::kNone;
}

void ExternalObject::Invoke(DispId dispid, automation::InvokeFlags, std::span<const Variant> args,
                            Variant* result) {
  const std::shared_ptr<ExternalHost> host = host_.lock();
  switch (dispid) {
    case id::kPrint:
      if (host) host->Print();
      return;
    case id::kStop:
      if (host) host->Stop();
      return;
    case id::kMinimize:
      if (host) host->Minimize();
      return;
    case id::kRestore:
      if (host) host->Restore();
      return;
    case id::kSave:
      if (host) host->Save();
      return;
    case id::kGetCookie: {
      const auto a = Take(args, {S});
      if (a.empty()) throw automation::ErrorFromHResult(automation::DISP_E_BADPARAMCOUNT);
      if (!result) throw automation::ErrorFromHResult(automation::E_POINTER);
      *result = Variant(host ? host->GetCookie(a[0].string()) : std::string());
      return;
    }
    case id::kSearch: {
      const auto a = Take(args, {S});
      if (a.empty() || !result || !host) return;
      std::string page = host->Search(a[0].string());
      // No result page leaves the result as it was (the call still succeeds).
      if (!page.empty()) *result = Variant(std::move(page));
      return;
    }
    case id::kAppendChip:
    case id::kSetCookie: {
      const auto a = Take(args, {S, S});
      if (a.empty() || !host) return;
      if (dispid == id::kAppendChip) {
        host->AppendChip(a[0].string(), a[1].string());
      } else {
        host->SetCookie(a[0].string(), a[1].string());
      }
      return;
    }
    case id::kConfigureSearch: {
      const auto a = Take(args, {S, S, S});
      if (!a.empty() && host) host->ConfigureSearch(a[0].string(), a[1].string(), a[2].string());
      return;
    }
    case id::kPopup:
    case id::kPopup2: {
      const auto a = Take(args, {S, L, L, L, L});
      if (a.empty() || !host) return;
      if (dispid == id::kPopup) {
        host->Popup(a[0].string(), a[1].i4(), a[2].i4(), a[3].i4(), a[4].i4());
      } else {
        host->Popup2(a[0].string(), a[1].i4(), a[2].i4(), a[3].i4(), a[4].i4());
      }
      return;
    }
    case id::kShellExec:
    case id::kPrintStr:
    case id::kOpen:
    case id::kDelCookie:
    case id::kSaveMsg:
    case id::kSetKey: {
      const auto a = Take(args, {S});
      if (a.empty() || !host) return;
      const std::string& text = a[0].string();
      switch (dispid) {
        case id::kShellExec:
          host->ShellExec(text);
          break;
        case id::kPrintStr:
          host->PrintStr(text);
          break;
        case id::kOpen:
          host->Open(text);
          break;
        case id::kDelCookie:
          host->DelCookie(text);
          break;
        case id::kSaveMsg:
          host->SaveMsg(text);
          break;
        default:
          host->SetKey(text);
          break;
      }
      return;
    }
    default:
      throw automation::ErrorFromHResult(automation::DISP_E_MEMBERNOTFOUND);
  }
}

}  // namespace norwin::bridge
