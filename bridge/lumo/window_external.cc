#include "bridge/lumo/window_external.h"

#include <glib.h>

#include <cstdio>
#include <optional>

#include "norwin/host/course_address.h"
#include "norwin/host/page_address.h"
#include "norwin/host/print_text.h"
#include "norwin/host/program_folder.h"
#include "norwin/host/progress_file.h"
#include "norwin/host/shell_exec.h"
#include "norwin/platform/ui_thread.h"

namespace norwin::bridge {
namespace {

struct Deferred {
  std::weak_ptr<const bool> alive;
  host::CourseWindow* window;
  std::function<void(host::CourseWindow&)> work;
};

gboolean RunDeferred(gpointer data) {
  std::unique_ptr<Deferred> deferred(static_cast<Deferred*>(data));
  if (!deferred->alive.expired()) deferred->work(*deferred->window);
  return G_SOURCE_REMOVE;
}

void Trace(const char* what, const Status& status) {
  if (!status.ok()) std::fprintf(stderr, "lumo: %s: %s\n", what, status.message().c_str());
}

// The address the HTML of a Popup2 window is taken to come from: the page
// file that the Windows program wrote beside itself for it. Nothing is
// written there; the HTML is handed to the engine directly, so that no
// file can be deleted before the window has read it. A page of a course
// drive gives it that drive's root instead, so that its root-relative
// links ("\pop1.htm") are on the drive of the page that gave them.
std::string Popup2Base(std::string_view caller) {
  if (std::optional<std::string> page = host::CourseFilePath(caller)) {
    if (std::optional<std::string> base = host::CourseAddress((*page)[0], "\\tmep.htm")) {
      return *base;
    }
  }
  const std::filesystem::path page = host::ProgramFolder() / "tmep.htm";
  char* uri = g_filename_to_uri(page.c_str(), nullptr, nullptr);
  std::string base = uri ? uri : "";
  g_free(uri);
  return base;
}

}  // namespace

void WindowExternal::Later(std::function<void(host::CourseWindow&)> work) {
  if (!alive()) return;
  g_idle_add(&RunDeferred, new Deferred{alive_, &window_, std::move(work)});
}

void WindowExternal::OnUi(const std::function<void()>& work) {
  platform::RunOnUiThread([&] {
    if (alive()) work();
  });
}

void WindowExternal::Print() {
  Later([](host::CourseWindow& window) { window.Print(); });
}

void WindowExternal::Stop() {
  Later([](host::CourseWindow& window) { window.Stop(); });
}

void WindowExternal::Minimize() {
  OnUi([&] { window_.Minimize(); });
}

void WindowExternal::Restore() {
  OnUi([&] { window_.Restore(); });
}

void WindowExternal::ShellExec(std::string_view file) {
  OnUi([&] {
    // A course address names its file; a root-relative path is on the drive
    // of the page that gave it (a page elsewhere leaves it to the search).
    std::string path(file);
    if (std::optional<std::string> course = host::CourseFilePath(file)) {
      path = std::move(*course);
    } else if (!path.empty() && (path[0] == '\\' || path[0] == '/')) {
      if (std::optional<std::string> page = host::CourseFilePath(window_.address())) {
        path.insert(0, page->substr(0, 2));
      }
    }
    if (std::optional<char> drive = host::ShellExecCourseFile(path, services_.settings)) {
      services_.search.SetCourseDrive(*drive);
    }
  });
}

std::string WindowExternal::GetCookie(std::string_view name) {
  Result<std::optional<std::string>> value = host::TheProgressStore().Get(name);
  if (!value.ok()) {
    Trace("cannot read the progress file", value.status());
    return {};
  }
  return value->value_or(std::string());
}

void WindowExternal::AppendChip(std::string_view name, std::string_view value) {
  Trace("cannot add to the progress file", host::TheProgressStore().AppendChip(name, value));
}

void WindowExternal::SetCookie(std::string_view name, std::string_view value) {
  Trace("cannot write the progress file", host::TheProgressStore().Set(name, value));
}

void WindowExternal::DelCookie(std::string_view name) {
  Trace("cannot write the progress file", host::TheProgressStore().Delete(name));
}

void WindowExternal::ConfigureSearch(std::string_view word_file, std::string_view vector_file,
                                     std::string_view title_file) {
  OnUi([&] {
    if (!services_.search.ConfigureSearch(word_file, vector_file, title_file)) {
      std::fprintf(stderr, "lumo: search not configured: no course drive\n");
    }
  });
}

std::string WindowExternal::Search(std::string_view query) {
  std::string page;
  OnUi([&] {
    window_.SetBusy(true);
    page = services_.search.Search(query);
    if (alive()) window_.SetBusy(false);
  });
  return page;
}

void WindowExternal::Popup(std::string_view url, int32_t, int32_t, int32_t width, int32_t height) {
  OnUi([&] {
    const std::optional<std::string> address = host::BrowserAddress(url, window_.address());
    if (!address) return;
    // The pop-up is centred over its owner, so the position is not used.
    host::PageSource source{host::PageSource::Kind::kAddress, *address, {}};
    Later([source, width, height](host::CourseWindow& window) {
      window.OpenPopup(source, width, height);
    });
  });
}

void WindowExternal::Popup2(std::string_view html, int32_t, int32_t, int32_t width,
                            int32_t height) {
  OnUi([&] {
    host::PageSource source{host::PageSource::Kind::kHtml, std::string(html),
                            Popup2Base(window_.address())};
    Later([source = std::move(source), width, height](host::CourseWindow& window) {
      window.OpenPopup(source, width, height);
    });
  });
}

void WindowExternal::PrintStr(std::string_view text) {
  OnUi([&] { Trace("printing failed", host::PrintText(text)); });
}

// The prompts of Open and Save run nested main loops, during which the user
// may close the window: they work on a copy of its progress state.
void WindowExternal::Open(std::string_view question) {
  OnUi([&] {
    host::ProgressWindowState state = window_.progress();
    Trace("cannot import the progress file", host::TheProgressStore().Import(state, question));
    if (alive()) window_.progress() = std::move(state);
  });
}

void WindowExternal::Save() {
  OnUi([&] {
    const host::ProgressWindowState state = window_.progress();
    Trace("cannot export the progress file", host::TheProgressStore().Export(state));
  });
}

void WindowExternal::SaveMsg(std::string_view text) {
  OnUi([&] { host::ProgressStore::StoreSavePrompt(window_.progress(), text); });
}

void WindowExternal::SetKey(std::string_view key) { host::TheProgressStore().SetKey(key); }

}  // namespace norwin::bridge
