#include "ui/gtk/gtk_ui_host.h"

#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>
#ifdef GDK_WINDOWING_X11
#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "os/text.h"
#include "ui/asset_table.h"
#include "ui/gtk/page_scheme.h"
#include "ui/gtk/startup_trace.h"
#include "ui/gtk/web_data_dir.h"

namespace corvane {
namespace {

constexpr char kBridgeHandler[] = "corvane";
// The isolated script world of the host's own checks, out of the page's reach.
constexpr char kHostWorld[] = "corvane-host";

// Resolves once the page's current content has reached the screen: the web fonts it uses are in
// (no fallback face is revealed only to be swapped), and two animation frames have passed. WebKit
// starts a frame only after the previous one was handed to the view and drawn, so the second
// frame's callback means the frame holding the page as it stood when this ran has been painted.
constexpr char kPaintedCheck[] = R"JS(
await document.fonts.ready;
await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
return true;
)JS";

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

// Where the window's messages, the view's creation and the page's commands go; set once when the
// host is made.
HostHandlers& handlers() {
  static HostHandlers the_handlers;
  return the_handlers;
}
void window_proc(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
  if (handlers().window_proc) (void)handlers().window_proc(message, wparam, std::move(text));
}
void on_view_created(const ViewResult& result) {
  if (handlers().view_created) handlers().view_created(result);
}
void dispatch_command(std::wstring_view command) {
  if (handlers().page_command) handlers().page_command(command);
}

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

// WebKit renders on the GPU through a DRM render node. Without one it can use Mesa's software
// rasteriser only, with which its compositing costs several times what painting on the CPU does:
// the page's first frame came 1-2 s later, and its animations took as much CPU. Set
// LIBGL_ALWAYS_SOFTWARE says the same.
bool gpu_rendering_available() {
  const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
  if (software && *software && std::string_view(software) != "0" && std::string_view(software) != "false") {
    return false;
  }
  GDir* dir = g_dir_open("/dev/dri", 0, nullptr);
  if (!dir) return false;
  bool found = false;
  while (const char* name = g_dir_read_name(dir)) {
    const std::string node = std::string("/dev/dri/") + name;
    if (g_str_has_prefix(name, "renderD") && ::access(node.c_str(), R_OK | W_OK) == 0) {
      found = true;
      break;
    }
  }
  g_dir_close(dir);
  return found;
}

// True for an address of the page's own origin: the only pages the view may show.
bool is_page_address(const char* uri) {
  static const std::string origin = utf8(kVirtualOrigin);
  return uri && std::string_view(uri).substr(0, origin.size()) == origin;
}

class GtkUiHost final : public UiHost {
 public:
  ~GtkUiHost() override {
    for (const auto& [id, source] : timers_) g_source_remove(source);
    stop_waiting_for_paint();
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
    const GtkMessageType type = question                                ? GTK_MESSAGE_WARNING
                                : kind == MessageBoxKind::Information ? GTK_MESSAGE_INFO
                                                                      : GTK_MESSAGE_ERROR;
    GtkWidget* dialog = gtk_message_dialog_new(window_ ? GTK_WINDOW(window_) : nullptr, GTK_DIALOG_MODAL, type,
                                               question ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s",
                                               utf8(text).c_str());
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

  // GDK scales windows by whole factors only; a desktop at 125 % or 150 % says so through its
  // font resolution instead (XSETTINGS Xft/DPI, or the Xft.dpi resource of a plain X server),
  // which GDK reports as the screen's resolution. The system DPI is that resolution per logical
  // pixel times the whole factor: 144 at 150 %, 192 at a scale factor of 2.
  std::uint32_t system_dpi() override {
    GdkMonitor* monitor = primary_monitor();
    const int scale = monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
    GdkScreen* screen = gdk_screen_get_default();
    gtk_settings_get_default();  // the settings object publishes the desktop's resolution to GDK
    const double resolution = screen ? gdk_screen_get_resolution(screen) : -1.0;
    const double logical_dpi = resolution > 0 ? resolution : 96.0;
    return static_cast<std::uint32_t>(std::lround(logical_dpi * scale));
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
    width_ = placement.right - placement.left;
    height_ = placement.bottom - placement.top;
    gtk_widget_set_size_request(window_, width_ / scale_, height_ / scale_);
    gtk_window_move(window, placement.left / scale_, placement.top / scale_);
    paint_background(window_);
    g_signal_connect(window_, "delete-event", G_CALLBACK(on_delete_event), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(on_destroy), this);
#ifdef GDK_WINDOWING_X11
    shape_cloak_ = GDK_IS_X11_DISPLAY(gtk_widget_get_display(window_));
#endif
    accepting_ = true;
    startup_mark("window created");
    return true;
  }

  // Cloaking. On X11 the cloaked window is mapped at its place but shaped down to its top-left
  // pixel (which shows the window's own background colour) and lets every click through, so the
  // web view renders while the user sees nothing. Uncloaking waits until the page's content has
  // been painted in the window (at most until the reveal deadline), then gives the window its
  // whole shape back: the user never sees it empty. Elsewhere (Wayland) the cloaked window is only
  // realized, so the page lays out at full size, and it is mapped when uncloaked.
  void set_cloaked(bool cloaked) override {
    cloaked_ = cloaked;
    if (!window_ || !shown_) return;
    if (cloaked) {
      stop_waiting_for_paint();
      hide_from_view();
    } else {
      startup_mark("reveal requested");
      reveal_when_painted();
    }
  }

  void show_window() override {
    if (!window_) return;
    shown_ = true;
    shown_at_us_ = g_get_monotonic_time();
    if (cloaked_) {
      hide_from_view();
    } else {
      let_be_seen();
    }
  }

  void bring_to_foreground() override {
    if (waiting_for_paint_) {
      present_when_seen_ = true;  // once the window can be seen
    } else if (window_ && gtk_widget_get_mapped(window_)) {
      gtk_window_present(GTK_WINDOW(window_));
    }
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

  void place_window(const ScreenRect& placement) override {
    if (!window_) return;
    width_ = placement.right - placement.left;
    height_ = placement.bottom - placement.top;
    gtk_widget_set_size_request(window_, width_ / scale_, height_ / scale_);
    gtk_window_resize(GTK_WINDOW(window_), width_ / scale_, height_ / scale_);
    gtk_window_move(GTK_WINDOW(window_), placement.left / scale_, placement.top / scale_);
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
      on_view_created({ViewStatus::Failed, 0});
      return;
    }
    context_ = webkit_web_context_new_with_website_data_manager(make_data_manager());
    register_page_scheme(context_);
    g_signal_connect(context_, "download-started", G_CALLBACK(on_download_started), nullptr);

    WebKitUserContentManager* content = webkit_user_content_manager_new();
    // The bridge exists in the page's own documents only, never in a page of another origin.
    const std::string page_pattern = utf8(kVirtualOrigin) + "*";
    const gchar* const allow[] = {page_pattern.c_str(), nullptr};
    WebKitUserScript* bridge = webkit_user_script_new(kBridgeScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow, nullptr);
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
    if (!gpu_rendering_available()) {
      webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    }
    const GdkRGBA background{13 / 255.0, 13 / 255.0, 13 / 255.0, 1.0};
    webkit_web_view_set_background_color(web_view, &background);
    webkit_web_view_set_zoom_level(web_view, view_zoom_level(zoom));
    g_signal_connect(view_, "context-menu", G_CALLBACK(on_context_menu), nullptr);
    g_signal_connect(view_, "create", G_CALLBACK(on_create_window), nullptr);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(on_decide_policy), nullptr);
    g_signal_connect(view_, "permission-request", G_CALLBACK(on_permission_request), nullptr);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(on_button_press), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(on_web_process_terminated), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(on_load_changed), nullptr);
    gtk_container_add(GTK_CONTAINER(window_), view_);
    gtk_widget_show(view_);
    startup_mark("view created");
    on_view_created({ViewStatus::Created, 0});
    const std::string start = utf8(kVirtualOrigin) + "index.html";
    webkit_web_view_load_uri(web_view, start.c_str());
  }

  void set_view_zoom(double zoom) override {
    if (view_) webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(view_), view_zoom_level(zoom));
  }

  // The view is the window's focus widget: the page has the keyboard whenever the window has it.
  void focus_view() override {
    if (view_) gtk_widget_grab_focus(view_);
  }

  void post_json_to_page(std::wstring_view json) override {
    if (!view_) return;
    const std::string script = "window.__corvaneDeliver(" + utf8(json) + ");";
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view_), script.c_str(),
                                        static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
  }

  void release_view() override {
    stop_waiting_for_paint();
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

  // GTK's own way to hold up a logout needs a GtkApplication, which this host does not use: a
  // logout on Linux is not held up.
  void set_shutdown_reason(std::wstring_view) override {}

  void run_message_loop() override { gtk_main(); }

  void quit_message_loop() override { gtk_main_quit(); }

 private:
  struct TimerData {
    GtkUiHost* host;
    std::uint32_t id;
  };

  struct LastPress {
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

  // The view's data in a folder of the user's own (the XDG cache folder, else the runtime
  // folder); when neither can be made safe, in memory only.
  static WebKitWebsiteDataManager* make_data_manager() {
    std::string folder = prepare_web_data_dir(g_get_user_cache_dir());
    if (folder.empty() && std::getenv("XDG_RUNTIME_DIR")) folder = prepare_web_data_dir(g_get_user_runtime_dir());
    if (folder.empty()) return webkit_website_data_manager_new_ephemeral();
    return webkit_website_data_manager_new("base-data-directory", folder.c_str(), "base-cache-directory",
                                           folder.c_str(), nullptr);
  }

  // The view's zoom level for the window's zoom factor. WebKitGTK scales the page by the whole
  // scale factor and by the desktop's font resolution itself (a 144 DPI desktop gets 150 %), as
  // WebView2 applies the system DPI. The page must lay out at its base size in CSS pixels, and
  // WebKit floors size / zoom: the level is kept a hair below what the window's size, rounded to
  // whole pixels, allows (1200 / 1.2 comes out as 999.99... otherwise).
  double view_zoom_level(double zoom) const {
    const double rounding = std::min(width_ / (width_ + 0.5), height_ / (height_ + 0.5));
    return zoom * rounding * (1.0 - 1e-6);
  }

  void hide_from_view() {
    if (!shape_cloak_) {
      // Realized, so the page lays out at full size, but never mapped.
      if (gtk_widget_get_mapped(window_)) gtk_widget_hide(window_);
      gtk_widget_realize(window_);
      return;
    }
    gtk_widget_realize(window_);
    cairo_rectangle_int_t corner{0, 0, 1, 1};
    cairo_region_t* pixel = cairo_region_create_rectangle(&corner);
    cairo_region_t* nothing = cairo_region_create();
    gtk_widget_shape_combine_region(window_, pixel);
    gtk_widget_input_shape_combine_region(window_, nothing);
    cairo_region_destroy(nothing);
    cairo_region_destroy(pixel);
#ifdef GDK_WINDOWING_X11
    // GDK hands shapes to the X server only on its next cycle, but maps at once: the window would
    // show whole for a moment. The X server gets the same shapes here, before the map.
    GdkWindow* gdk_window = gtk_widget_get_window(window_);
    XRectangle one{0, 0, 1, 1};
    XShapeCombineRectangles(GDK_WINDOW_XDISPLAY(gdk_window), GDK_WINDOW_XID(gdk_window), ShapeBounding, 0, 0, &one,
                            1, ShapeSet, Unsorted);
    XShapeCombineRectangles(GDK_WINDOW_XDISPLAY(gdk_window), GDK_WINDOW_XID(gdk_window), ShapeInput, 0, 0, nullptr,
                            0, ShapeSet, Unsorted);
#endif
    // Not on the task bar, and not focused, while it cannot be seen.
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
    gtk_window_set_skip_pager_hint(GTK_WINDOW(window_), TRUE);
    gtk_window_set_focus_on_map(GTK_WINDOW(window_), FALSE);
    gtk_widget_show_all(window_);
  }

  void let_be_seen() {
    if (!window_) return;
    if (shape_cloak_) {
      gtk_widget_shape_combine_region(window_, nullptr);
      gtk_widget_input_shape_combine_region(window_, nullptr);
      gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), FALSE);
      gtk_window_set_skip_pager_hint(GTK_WINDOW(window_), FALSE);
      gtk_window_set_focus_on_map(GTK_WINDOW(window_), TRUE);
    }
    gtk_widget_show_all(window_);
    startup_mark("window uncloaked");
    if (present_when_seen_) {
      present_when_seen_ = false;
      gtk_window_present(GTK_WINDOW(window_));
    }
  }

  // The page said it has drawn itself: let the window be seen once that drawing has reached the
  // window, or at the reveal deadline (kRevealDelayMs after the window was shown), whichever
  // comes first. Without a view, or once the deadline has passed, at once.
  void reveal_when_painted() {
    if (waiting_for_paint_) return;
    const gint64 deadline_us = shown_at_us_ + static_cast<gint64>(kRevealDelayMs) * 1000;
    const gint64 left_ms = (deadline_us - g_get_monotonic_time()) / 1000;
    if (!shape_cloak_ || !view_ || left_ms <= 0) {
      let_be_seen();
      return;
    }
    waiting_for_paint_ = true;
    paint_check_ = g_cancellable_new();
    webkit_web_view_call_async_javascript_function(WEBKIT_WEB_VIEW(view_), kPaintedCheck, -1, nullptr,
                                                   kHostWorld, nullptr, paint_check_, on_painted, this);
    paint_deadline_ = g_timeout_add(static_cast<guint>(left_ms), on_paint_deadline, this);
  }

  void stop_waiting_for_paint() {
    if (paint_check_) {
      g_cancellable_cancel(paint_check_);
      g_clear_object(&paint_check_);
    }
    if (paint_deadline_) g_source_remove(paint_deadline_);
    paint_deadline_ = 0;
    waiting_for_paint_ = false;
  }

  void painted() {
    if (!waiting_for_paint_) return;
    startup_mark(paint_deadline_ ? "page painted in the window" : "reveal deadline");
    stop_waiting_for_paint();
    if (!cloaked_) let_be_seen();
  }

  static void on_painted(GObject* view, GAsyncResult* result, gpointer self) {
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error);
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_clear_error(&error);
    if (value) g_object_unref(value);
    // A cancelled check belongs to a host that has stopped waiting, or no longer exists. A failed
    // one (the page went away) leaves the deadline to reveal the window.
    if (!cancelled && value) static_cast<GtkUiHost*>(self)->painted();
  }

  static gboolean on_paint_deadline(gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    host->paint_deadline_ = 0;
    host->painted();
    return G_SOURCE_REMOVE;
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
    host->stop_waiting_for_paint();
    window_proc(kWindowDestroy, 0, nullptr);
  }

  static gboolean on_timer(gpointer data) {
    const auto* timer = static_cast<TimerData*>(data);
    window_proc(kWindowTimer, timer->id, nullptr);
    return G_SOURCE_CONTINUE;
  }

  static void on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    // Only the page itself speaks to the setup.
    if (!host->view_ || !is_page_address(webkit_web_view_get_uri(WEBKIT_WEB_VIEW(host->view_)))) return;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;  // only text commands exist
    gchar* text = jsc_value_to_string(value);
    if (!text) return;
    if (!host->page_spoke_) startup_mark("page script running (first command)");
    host->page_spoke_ = true;
    const std::wstring command = os::from_utf8(text);
    g_free(text);
    dispatch_command(command);
  }

  static void on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer) {
    if (event == WEBKIT_LOAD_STARTED) startup_mark("web process loading the page");
  }

  static gboolean on_context_menu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                  gpointer) {
    return TRUE;  // no context menu
  }

  static GtkWidget* on_create_window(WebKitWebView*, WebKitNavigationAction*, gpointer) {
    return nullptr;  // the page never opens a window
  }

  // The view shows the page's own origin and nothing else: a navigation of the page or of any of
  // its frames to another address, and every new window, is dropped (nothing opens elsewhere).
  static gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
      WebKitNavigationAction* action =
          webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
      WebKitURIRequest* request = webkit_navigation_action_get_request(action);
      if (is_page_address(webkit_uri_request_get_uri(request))) return FALSE;
    } else if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
      // A response of a navigation allowed above is shown when the view can show it; anything
      // else would become a download.
      if (webkit_response_policy_decision_is_mime_type_supported(WEBKIT_RESPONSE_POLICY_DECISION(decision))) {
        return FALSE;
      }
    }
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }

  // As in the WebView2 host: the page is granted no permission (notifications, location, media)
  // and saves no file, whatever the library would do by default.
  static gboolean on_permission_request(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
    webkit_permission_request_deny(request);
    return TRUE;
  }
  static void on_download_started(WebKitWebContext*, WebKitDownload* download, gpointer) {
    webkit_download_cancel(download);
  }

  static gboolean on_button_press(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    host->press_ = {true, event->button, static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                    event->time};
    return FALSE;
  }

  // The web process died before any page ever spoke: the view cannot run here. After that, the
  // page is gone, and the setup makes the view anew (WM_VIEW_FAILED).
  static void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    auto* host = static_cast<GtkUiHost*>(self);
    if (!host->page_spoke_) {
      if (handlers().runtime_missing) handlers().runtime_missing();
    } else {
      (void)host->post_message(WM_VIEW_FAILED, nullptr);
    }
  }

  GtkWidget* window_ = nullptr;
  GtkWidget* view_ = nullptr;
  WebKitWebContext* context_ = nullptr;
  int scale_ = 1;
  std::int32_t width_ = 1;   // the placement's size, physical pixels
  std::int32_t height_ = 1;
  bool shape_cloak_ = false;  // cloaked by shaping the mapped window (X11)
  bool cloaked_ = false;
  bool shown_ = false;
  gint64 shown_at_us_ = 0;
  bool waiting_for_paint_ = false;
  bool present_when_seen_ = false;
  GCancellable* paint_check_ = nullptr;
  guint paint_deadline_ = 0;
  bool page_spoke_ = false;
  LastPress press_;
  std::map<std::uint32_t, guint> timers_;
  std::atomic<bool> accepting_{false};
};

}  // namespace

std::unique_ptr<UiHost> make_gtk_ui_host(HostHandlers host_handlers) {
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  handlers() = std::move(host_handlers);
  startup_mark("gtk initialised");
  return std::make_unique<GtkUiHost>();
}

}  // namespace corvane
