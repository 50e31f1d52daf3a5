#include "ui/gtk/gtk_ui_host.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "app/window_proc.h"
#include "os/fs.h"
#include "os/text.h"
#include "ui/asset_table.h"
#include "ui/dispatcher.h"
#include "ui/gtk/page_scheme.h"

namespace corvane {
namespace {

constexpr char kBridgeHandler[] = "corvane";
constexpr char kUserDataFolder[] = "Corvane-Setup";

// Defines window.chrome.webview for the page: postMessage goes to the native script message
// handler; native messages arrive through __corvaneDeliver as MessageEvents whose data is the
// already parsed object, as the Windows view delivers them.
constexpr char kBridgeScript[] = R"JS((() => {
  const listeners = new Set();
  const webview = {
    postMessage(message) { window.webkit.messageHandlers.corvane.postMessage(message); },
    addEventListener(type, listener) {
      if (type === 'message' && typeof listener === 'function') listeners.add(listener);
    },
    removeEventListener(type, listener) {
      if (type === 'message') listeners.delete(listener);
    },
  };
  window.chrome = window.chrome || {};
  Object.defineProperty(window.chrome, 'webview', { value: webview });
  Object.defineProperty(window, '__corvaneDeliver', {
    value(data) {
      const event = new MessageEvent('message', { data });
      for (const listener of [...listeners]) {
        try { listener.call(webview, event); } catch (error) { setTimeout(() => { throw error; }); }
      }
    },
  });
})();)JS";

std::string utf8(std::wstring_view text) { return os::to_utf8(text); }

// One posted window message on its way to the window thread's loop.
struct PostedMessage {
  WindowMessage message;
  std::unique_ptr<std::wstring> text;
};

gboolean deliver_posted(gpointer data) {
  auto* posted = static_cast<PostedMessage*>(data);
  window_proc(posted->message, 0, std::move(posted->text));
  return G_SOURCE_REMOVE;
}

void free_posted(gpointer data) { delete static_cast<PostedMessage*>(data); }

class GtkUiHost final : public UiHost {
 public:
  ~GtkUiHost() override {
    for (const auto& [id, source] : timers_) g_source_remove(source);
    release_view();
    if (window_) gtk_widget_destroy(window_);
  }

  bool post_message(WindowMessage message, std::unique_ptr<std::wstring> text) override {
    if (!accepting_.load()) return false;  // the unique_ptr frees the text
    // g_idle_add_full is safe from any thread and keeps the order of posts of one priority.
    g_idle_add_full(G_PRIORITY_DEFAULT, deliver_posted, new PostedMessage{message, std::move(text)},
                    free_posted);
    return true;
  }

  MessageBoxAnswer message_box(std::wstring_view text, MessageBoxKind kind) override {
    const bool question = kind == MessageBoxKind::YesNoWarning;
    GtkWidget* dialog = gtk_message_dialog_new(
        window_ ? GTK_WINDOW(window_) : nullptr, GTK_DIALOG_MODAL,
        question ? GTK_MESSAGE_WARNING : GTK_MESSAGE_ERROR, question ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK,
        "%s", utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Corvane");
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (!question) return MessageBoxAnswer::Ok;
    return response == GTK_RESPONSE_YES ? MessageBoxAnswer::Yes : MessageBoxAnswer::No;
  }

  ScreenRect work_area() override {
    GdkMonitor* monitor = primary_monitor();
    if (!monitor) return {0, 0, 1024, 768};
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    const int scale = gdk_monitor_get_scale_factor(monitor);
    return {area.x * scale, area.y * scale, (area.x + area.width) * scale, (area.y + area.height) * scale};
  }

  std::uint32_t system_dpi() override {
    GdkMonitor* monitor = primary_monitor();
    return 96u * static_cast<std::uint32_t>(monitor ? gdk_monitor_get_scale_factor(monitor) : 1);
  }

  bool create_window(const ScreenRect& placement) override {
    GdkMonitor* monitor = primary_monitor();
    scale_ = monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!window_) return false;
    g_object_add_weak_pointer(G_OBJECT(window_), reinterpret_cast<gpointer*>(&window_));
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_title(window, "Corvane");
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_icon_name(window, "corvane-setup");
    // GTK measures in logical pixels; the placement is physical.
    gtk_widget_set_size_request(window_, (placement.right - placement.left) / scale_,
                                (placement.bottom - placement.top) / scale_);
    gtk_window_move(window, placement.left / scale_, placement.top / scale_);
    paint_background(window_);
    g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete_event), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(on_destroy), this);
    accepting_ = true;
    return true;
  }

  void set_cloaked(bool cloaked) override {
    cloaked_ = cloaked;
    if (!window_) return;
    // A cloaked window is realized (the page lays out at full size) but never mapped.
    if (cloaked) {
      if (gtk_widget_get_mapped(window_)) gtk_widget_hide(window_);
    } else if (shown_) {
      gtk_widget_show_all(window_);
    }
  }

  void show_window() override {
    if (!window_) return;
    shown_ = true;
    if (cloaked_) {
      gtk_widget_realize(window_);
    } else {
      gtk_widget_show_all(window_);
    }
  }

  void bring_to_foreground() override {
    if (window_ && gtk_widget_get_mapped(window_)) gtk_window_present(GTK_WINDOW(window_));
  }

  void minimize_window() override {
    if (window_) gtk_window_iconify(GTK_WINDOW(window_));
  }

  void start_drag() override {
    if (!window_ || !press_.valid) return;
    // The page's "drag" can arrive after the button went up; start a move only while it is down.
    GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(window_));
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    GdkWindow* gdk_window = gtk_widget_get_window(window_);
    if (!pointer || !gdk_window) return;
    GdkModifierType state{};
    gdk_device_get_state(pointer, gdk_window, nullptr, &state);
    if ((state & GDK_BUTTON1_MASK) == 0) return;
    gtk_window_begin_move_drag(GTK_WINDOW(window_), static_cast<gint>(press_.button), press_.x_root,
                               press_.y_root, press_.time);
  }

  void destroy_window() override {
    if (window_) gtk_widget_destroy(window_);  // "destroy" reaches window_proc before this returns
  }

  void set_timer(std::uint32_t id, std::uint32_t interval_ms) override {
    kill_timer(id);
    auto* timer = new TimerData{this, id};
    timers_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, interval_ms, on_timer, timer,
                                     [](gpointer data) { delete static_cast<TimerData*>(data); });
  }

  void kill_timer(std::uint32_t id) override {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    g_source_remove(it->second);
    timers_.erase(it);
  }

  void create_view(double zoom) override {
    if (!window_) {
      on_view_created(false);
      return;
    }
    const std::string data_dir = utf8(os::temp_dir()) + kUserDataFolder;
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
        "base-data-directory", data_dir.c_str(), "base-cache-directory", data_dir.c_str(), nullptr);
    context_ = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    register_page_scheme(context_);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserScript* bridge =
        webkit_user_script_new(kBridgeScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, bridge);
    webkit_user_script_unref(bridge);
    const std::string signal = std::string("script-message-received::") + kBridgeHandler;
    g_signal_connect(content, signal.c_str(), G_CALLBACK(on_script_message), this);
    webkit_user_content_manager_register_script_message_handler(content, kBridgeHandler);

    view_ = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_,
                                    "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    WebKitWebView* web_view = WEBKIT_WEB_VIEW(view_);
    WebKitSettings* settings = webkit_web_view_get_settings(web_view);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
    const GdkRGBA background{13 / 255.0, 13 / 255.0, 13 / 255.0, 1.0};
    webkit_web_view_set_background_color(web_view, &background);
    // The page must lay out at its base size in CSS pixels. WebKit floors width / zoom, and
    // 1200 / 1.2 comes out as 999.99...: a zoom a hair smaller keeps the full base size.
    webkit_web_view_set_zoom_level(web_view, zoom * (1.0 - 1e-6));
    g_signal_connect(view_, "context-menu", G_CALLBACK(on_context_menu), nullptr);
    g_signal_connect(view_, "create", G_CALLBACK(on_create_window), nullptr);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(on_decide_policy), nullptr);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(on_button_press), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(on_web_process_terminated), this);
    gtk_container_add(GTK_CONTAINER(window_), view_);
    gtk_widget_show(view_);
    on_view_created(true);
    const std::string start = utf8(kVirtualOrigin) + "index.html";
    webkit_web_view_load_uri(web_view, start.c_str());
  }

  void post_json_to_page(std::wstring_view json) override {
    if (!view_) return;
    const std::string script = "window.__corvaneDeliver(" + utf8(json) + ");";
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view_), script.c_str(),
                                        static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }

  void release_view() override {
    if (view_) gtk_widget_destroy(view_);
    view_ = nullptr;
    g_clear_object(&context_);
  }

  std::wstring show_folder_dialog(std::wstring_view title, std::wstring_view start_folder) override {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        utf8(title).c_str(), window_ ? GTK_WINDOW(window_) : nullptr, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
        "_Отмена", GTK_RESPONSE_CANCEL, "_Выбрать", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    if (!start_folder.empty()) {
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), utf8(start_folder).c_str());
    }
    std::wstring chosen;
    // Escape answers GTK_RESPONSE_DELETE_EVENT: anything but accept is a cancel.
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
      if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
        chosen = os::from_utf8(name);
        g_free(name);
      }
    }
    gtk_widget_destroy(dialog);
    return chosen;
  }

  void open_url(std::wstring_view url) override {
    gtk_show_uri_on_window(window_ ? GTK_WINDOW(window_) : nullptr, utf8(url).c_str(), GDK_CURRENT_TIME,
                           nullptr);
  }

  void run_message_loop() override { gtk_main(); }

  void quit_message_loop() override { gtk_main_quit(); }

 private:
  struct TimerData {
    GtkUiHost* host;
    std::uint32_t id;
  };

  struct ButtonPress {
    bool valid = false;
    guint button = 0;
    gint x_root = 0;
    gint y_root = 0;
    guint32 time = 0;
  };

  static GdkMonitor* primary_monitor() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return nullptr;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    return monitor ? monitor : gdk_display_get_monitor(display, 0);
  }

  static void paint_background(GtkWidget* window) {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "window { background-color: rgb(13, 13, 13); }", -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(window), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
  }

  // A close from the window manager takes the same path as the page's "close": window_proc
  // decides, and GTK never destroys the window by itself.
  static gboolean on_delete_event(GtkWidget*, GdkEvent*, gpointer) {
    window_proc(kWindowClose, 0, nullptr);
    return TRUE;
  }

  static void on_destroy(GtkWidget*, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    host->accepting_ = false;
    window_proc(kWindowDestroy, 0, nullptr);
  }

  static gboolean on_timer(gpointer data) {
    const auto* timer = static_cast<TimerData*>(data);
    window_proc(kWindowTimer, timer->id, nullptr);
    return G_SOURCE_CONTINUE;
  }

  static void on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;  // only text commands exist
    gchar* text = jsc_value_to_string(value);
    if (!text) return;
    host->page_spoke_ = true;
    const std::wstring command = os::from_utf8(text);
    g_free(text);
    dispatch_command(command);
  }

  static gboolean on_context_menu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                  gpointer) {
    return TRUE;  // no context menu
  }

  static GtkWidget* on_create_window(WebKitWebView*, WebKitNavigationAction*, gpointer) {
    return nullptr;  // the page never opens a window
  }

  static gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    return FALSE;
  }

  static gboolean on_button_press(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    host->press_ = {true, event->button, static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                    event->time};
    return FALSE;
  }

  // The web process died before the page ever spoke: the view cannot run here.
  static void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    if (!host->page_spoke_) show_runtime_missing();
  }

  GtkWidget* window_ = nullptr;
  GtkWidget* view_ = nullptr;
  WebKitWebContext* context_ = nullptr;
  int scale_ = 1;
  bool cloaked_ = false;
  bool shown_ = false;
  bool page_spoke_ = false;
  ButtonPress press_;
  std::map<std::uint32_t, guint> timers_;
  std::atomic<bool> accepting_{false};
};

}  // namespace

std::unique_ptr<UiHost> make_gtk_ui_host() {
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkUiHost>();
}

}  // namespace corvane
