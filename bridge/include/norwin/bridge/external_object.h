// ExternalObject: `window.external` of a course window, the scripting
// interface NorwinDHTML (INorwinDHTML) as page script reaches it.
//
// It resolves the interface's names (without regard to case) to their fixed
// dispatch ids and applies the interface's argument rules before it calls
// its host: a method of n parameters takes the last n arguments, in
// declared order, extra leading ones ignored; argument types must match
// exactly (strings VT_BSTR, numbers VT_I4; nothing is converted); a call
// whose count or types do not match does nothing and succeeds. The
// exceptions: GetCookie with a missing or non-string name raises
// DISP_E_BADPARAMCOUNT, and Run, Write, GetHwnd (which only the program
// itself calls) and unknown ids raise DISP_E_MEMBERNOTFOUND. The invocation
// flags are not looked at: a property read and a method call are alike.
//
// The host is held weakly: once the window has gone, every call does
// nothing and succeeds. One thread (lumo's apartment, page_server.h) calls
// it; its host carries to the UI thread what needs the window.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::bridge {

// What the scripting interface does for one window. Texts are UTF-8.
// Methods report nothing back: failures are the host's to show or trace.
class ExternalHost {
 public:
  virtual ~ExternalHost() = default;

  virtual void Print() = 0;
  virtual void Stop() = 0;
  virtual void Minimize() = 0;
  virtual void Restore() = 0;
  virtual void ShellExec(std::string_view file) = 0;
  // The cookie's value; "" when there is none.
  virtual std::string GetCookie(std::string_view name) = 0;
  virtual void AppendChip(std::string_view name, std::string_view value) = 0;
  virtual void ConfigureSearch(std::string_view word_file, std::string_view vector_file,
                               std::string_view title_file) = 0;
  // The result page; "" when there is none.
  virtual std::string Search(std::string_view query) = 0;
  virtual void Popup(std::string_view url, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  virtual void Popup2(std::string_view html, int32_t x, int32_t y, int32_t width,
                      int32_t height) = 0;
  virtual void SetCookie(std::string_view name, std::string_view value) = 0;
  virtual void PrintStr(std::string_view text) = 0;
  virtual void DelCookie(std::string_view name) = 0;
  virtual void Open(std::string_view question) = 0;
  virtual void Save() = 0;
  virtual void SaveMsg(std::string_view text) = 0;
  virtual void SetKey(std::string_view key) = 0;
};

// The interface's dispatch ids.
namespace external_dispid {
inline constexpr automation::DispId kRun = 0x60020000;
inline constexpr automation::DispId kWrite = 0x60020001;
inline constexpr automation::DispId kGetHwnd = 500;
inline constexpr automation::DispId kPrint = 502;
inline constexpr automation::DispId kStop = 504;
inline constexpr automation::DispId kMinimize = 506;
inline constexpr automation::DispId kRestore = 508;
inline constexpr automation::DispId kAppendChip = 510;
inline constexpr automation::DispId kGetCookie = 512;
inline constexpr automation::DispId kConfigureSearch = 514;
inline constexpr automation::DispId kSearch = 516;
inline constexpr automation::DispId kShellExec = 518;
inline constexpr automation::DispId kPopup = 520;
inline constexpr automation::DispId kPopup2 = 522;
inline constexpr automation::DispId kSetCookie = 524;
inline constexpr automation::DispId kPrintStr = 526;
inline constexpr automation::DispId kOpen = 528;
inline constexpr automation::DispId kSave = 530;
inline constexpr automation::DispId kDelCookie = 532;
inline constexpr automation::DispId kSaveMsg = 534;
inline constexpr automation::DispId kSetKey = 536;
}  // namespace external_dispid

class ExternalObject final : public automation::Object {
 public:
  explicit ExternalObject(std::weak_ptr<ExternalHost> host) : host_(std::move(host)) {}

  automation::DispId FindMember(std::string_view name) const override;
  // Throws AutomationError as described above.
  void Invoke(automation::DispId id, automation::InvokeFlags flags,
              std::span<const automation::Variant> args, automation::Variant* result) override;
  automation::MemberKind KindOf(automation::DispId id) const override;
  std::string_view TypeName() const override { return "NorwinDHTML"; }

 private:
  std::weak_ptr<ExternalHost> host_;
};

}  // namespace norwin::bridge
