#include "install/run_report.h"

#include "ui/ui_messages.h"

namespace corvane {
namespace {

class PageReport final : public RunReport {
 public:
  void stage(std::wstring_view stage) override { send_stage(stage); }
  void progress(std::uint64_t done, std::uint64_t total, std::uint32_t files, std::uint32_t files_total) override {
    send_progress(nullptr, done, total, files, files_total);
  }
  void failed(RunFailure, std::wstring_view text, const UpdateResult*) override { send_error(text); }
  void installed(std::string_view version, std::string_view date) override {
    post_to_ui(installed_message(version, date));
  }
  void uninstalled(const std::vector<std::wstring>& kept) override { post_to_ui(uninstalled_message(kept)); }
};

void forward_progress(void* context, std::uint64_t done, std::uint64_t total, std::uint32_t files,
                      std::uint32_t files_total) {
  static_cast<RunReport*>(context)->progress(done, total, files, files_total);
}

}  // namespace

RunReport& page_report() {
  static PageReport report;
  return report;
}

ProgressCallback progress_to(RunReport& report) { return ProgressCallback{&report, &forward_progress}; }

}  // namespace corvane
