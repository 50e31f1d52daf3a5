// The page's URI scheme inside a real WebKitGTK view: a module script loads from it, and fetch()
// sees the resource server's statuses, lengths and types. Needs a display (run under Xvfb).
#include "ui/gtk/page_scheme.h"

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <string>

#include "json/json_fields.h"

namespace corvane {
namespace {

struct Report {
  std::string text;
  GMainLoop* loop = nullptr;
};

void on_report(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
  auto* report = static_cast<Report*>(data);
  gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(result));
  report->text = text ? text : "";
  g_free(text);
  g_main_loop_quit(report->loop);
}

// The object text of one member of the report, e.g. {"status":200,"length":1000,...}.
std::string member(const std::string& report, const std::string& name) {
  const std::size_t at = report.find("\"" + name + "\":{");
  if (at == std::string::npos) return {};
  const std::size_t open = report.find('{', at);
  return report.substr(open, report.find('}', open) - open + 1);
}

TEST(PageScheme, ServesTheEmbeddedPageToWebKit) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  register_page_scheme(context);
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  Report report;
  report.loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(content, "script-message-received::report", G_CALLBACK(on_report), &report);
  webkit_user_content_manager_register_script_message_handler(content, "report");
  GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                            "user-content-manager", content, nullptr));
  GtkWidget* window = gtk_offscreen_window_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), "corvane-setup://app/index.html");
  const guint timeout = g_timeout_add_seconds(
      30, [](gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); return G_SOURCE_REMOVE; },
      report.loop);
  g_main_loop_run(report.loop);
  g_source_remove(timeout);

  ASSERT_FALSE(report.text.empty()) << "the module script never reported";
  // A Range request gets the portion it asks for, with 206.
  const std::string range = member(report.text, "range");
  EXPECT_EQ(find_int_field(range, "status"), 206);
  EXPECT_EQ(find_int_field(range, "length"), 1);
  EXPECT_EQ(find_string_field(range, "type"), "video/mp4");
  for (const char* name : {"query", "fragment"}) {
    const std::string served = member(report.text, name);
    EXPECT_EQ(find_int_field(served, "status"), 200) << name;
    EXPECT_EQ(find_string_field(served, "type"), "text/javascript; charset=utf-8") << name;
  }
  EXPECT_EQ(find_int_field(member(report.text, "bare"), "status"), 404);
  EXPECT_EQ(find_int_field(member(report.text, "wrongCase"), "status"), 404);
  EXPECT_EQ(find_int_field(member(report.text, "missing"), "status"), 500);

  gtk_widget_destroy(window);
  g_object_unref(content);
  g_object_unref(context);
  g_main_loop_unref(report.loop);
}

}  // namespace
}  // namespace corvane
