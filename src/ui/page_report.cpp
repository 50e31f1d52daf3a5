#include "ui/page_report.h"

#include "ui/error_text.h"
#include "ui/ui_messages.h"

namespace corvane {
namespace {

class PageReport final : public RunReport {
 public:
  void stage(std::wstring_view stage) override { send_stage(stage); }
  void progress(std::uint64_t done, std::uint64_t total, std::uint32_t files, std::uint32_t files_total) override {
    send_progress(nullptr, done, total, files, files_total);
  }
  void failed(RunError error, std::wstring_view folder, const UpdateResult* update) override {
    send_error(run_error_text(error, folder, update));
  }
  void installed(std::string_view version, std::string_view date) override {
    post_to_ui(installed_message(version, date));
  }
  void uninstalled(const std::vector<std::wstring>& kept) override { post_to_ui(uninstalled_message(kept)); }
};

}  // namespace

RunReport& page_report() {
  static PageReport report;
  return report;
}

}  // namespace corvane
