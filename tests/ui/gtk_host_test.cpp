// The GTK window host with a real X server (Xvfb) and, where a page is involved, a real WebKitGTK
// view of the embedded test page (tests/ui/host_page):
//   - a cloaked window is mapped at its place but shaped down to one pixel that lets no click
//     through, off the task bar; uncloaked it shows whole, at its placement's size; a close from
//     the window manager goes to the setup, which keeps the window while a run goes on;
//   - the page is revealed only once it has been painted, and then at once, with the keyboard focus;
//   - the view shows the page's own origin only: other origins never get a navigation, and the
//     page's Content-Security-Policy (from the scheme's answers) refuses its requests elsewhere,
//     while the page's own script, style sheet and requests work;
//   - the desktop's fractional scale (its font resolution) sizes the page's zoom.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ui/app_state.h"
#include "ui/host_window.h"
#include "app/window_proc.h"
#include "ui/dispatcher.h"
#include "ui/gtk/gtk_ui_host.h"

// Xlib's macros (None, Bool, ...) clash with GoogleTest's names: last.
#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

namespace corvane {
namespace {

GtkWidget* setup_window() {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* it = windows; it; it = it->next) {
    if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(it->data)), "Corvane") == 0) found = GTK_WIDGET(it->data);
  }
  g_list_free(windows);
  return found;
}

WebKitWebView* page_view(GtkWidget* window) {
  GtkWidget* child = window ? gtk_bin_get_child(GTK_BIN(window)) : nullptr;
  return child && WEBKIT_IS_WEB_VIEW(child) ? WEBKIT_WEB_VIEW(child) : nullptr;
}

// Runs the main loop until `done` holds or `timeout_ms` pass; whether it holds.
bool run_until(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    g_usleep(5000);
  }
  return true;
}

void run_for(int ms) {
  run_until([] { return false; }, ms);
}

// The area (pixels) of the window's X shape of `kind` (ShapeBounding: what can be seen;
// ShapeInput: what takes clicks).
long shape_area(GtkWidget* window, int kind) {
  GdkWindow* gdk_window = gtk_widget_get_window(window);
  XSync(GDK_WINDOW_XDISPLAY(gdk_window), False);  // what the X server has, requests sent so far included
  int count = 0;
  int ordering = 0;
  XRectangle* rects = XShapeGetRectangles(GDK_WINDOW_XDISPLAY(gdk_window), GDK_WINDOW_XID(gdk_window), kind,
                                          &count, &ordering);
  long area = 0;
  for (int i = 0; i < count; ++i) area += static_cast<long>(rects[i].width) * rects[i].height;
  if (rects) XFree(rects);
  return area;
}

// A key pressed and released while `window` has the keyboard: GTK hands it to the window's focus
// widget, as it does a key from the keyboard.
void press_key(GtkWidget* window, guint keyval) {
  GdkDisplay* display = gtk_widget_get_display(window);
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* key = gdk_event_new(type);
    key->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    key->key.send_event = TRUE;
    key->key.time = GDK_CURRENT_TIME;
    key->key.keyval = keyval;
    key->key.hardware_keycode = count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
    gdk_event_set_device(key, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
    gtk_main_do_event(key);
    gdk_event_free(key);
  }
  g_free(keys);
}

// Runs a script in the page and returns its result as JSON text (empty on failure).
std::string page_json(WebKitWebView* view, const std::string& expression) {
  struct Result {
    bool done = false;
    std::string text;
  } result;
  const std::string script = "JSON.stringify(" + expression + ")";
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* res, gpointer data) {
        auto* out = static_cast<Result*>(data);
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, nullptr)) {
          gchar* text = jsc_value_to_string(value);
          out->text = text ? text : "";
          g_free(text);
          g_object_unref(value);
        }
        out->done = true;
      },
      &result);
  run_until([&] { return result.done; }, 10000);
  return result.text;
}

// Whether the view's current content, drawn the way the window draws it, holds more than one
// colour: the page has been painted into it.
bool view_shows_content(WebKitWebView* view) {
  GtkWidget* widget = GTK_WIDGET(view);
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  if (width <= 0 || height <= 0) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  gtk_widget_draw(widget, cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const auto pixel = [&](int x, int y) { return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4) & 0xFFFFFFu; };
  bool uneven = false;
  for (int y = 0; y < height && !uneven; y += 7) {
    for (int x = 0; x < width && !uneven; x += 7) uneven = pixel(x, y) != pixel(0, 0);
  }
  cairo_surface_destroy(surface);
  return uneven;
}

// A fresh AppState whose host is a new GTK host (skips the test without a display).
class GtkHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_app_state();
    host_ = make_gtk_ui_host({[](WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text) {
                                return window_proc(message, wparam, std::move(text));
                              },
                              [](const ViewResult& result) { on_view_created(result); },
                              [](std::wstring_view command) { dispatch_command(command); }, nullptr, nullptr,
                              nullptr, &show_runtime_missing});
    if (!host_) GTEST_SKIP() << "no display";
    app_state().host = host_.get();
    app_state().mode = RunMode::Install;
  }
  void TearDown() override {
    if (host_) {
      app_state().busy = false;
      host_->destroy_window();
      run_for(50);
    }
    reset_app_state();
    host_.reset();
  }

  // The window shown cloaked as the entry shows it, with the page's view in it.
  GtkWidget* open_page_window(const ScreenRect& placement, double zoom) {
    EXPECT_TRUE(host_->create_window(placement));
    app_state().window = true;
    set_cloaked(true);
    host_->show_window();
    host_->create_view(zoom);
    return setup_window();
  }

  std::unique_ptr<UiHost> host_;
};

TEST_F(GtkHostTest, CloakedWindowIsMappedButShowsNothingAndUncloaksWhole) {
  app_state().busy = true;  // a close request then waits for the run
  ASSERT_TRUE(host_->create_window({100, 80, 100 + 540, 80 + 400}));
  host_->set_cloaked(true);
  host_->show_window();
  GtkWidget* window = setup_window();
  ASSERT_NE(window, nullptr);
  // Mapped, so a page would render, but one pixel at most can be seen and no click lands on it,
  // from the moment the X server maps it.
  EXPECT_TRUE(gtk_widget_get_mapped(window));
  EXPECT_EQ(shape_area(window, ShapeBounding), 1);
  EXPECT_EQ(shape_area(window, ShapeInput), 0);
  run_for(300);
  EXPECT_EQ(shape_area(window, ShapeBounding), 1);
  EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(window)));
  EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(window)));
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));

  // Without a page to wait for, uncloaking shows the whole window at once.
  host_->set_cloaked(false);
  run_for(300);
  EXPECT_EQ(shape_area(window, ShapeBounding), 540L * 400);
  EXPECT_EQ(shape_area(window, ShapeInput), 540L * 400);
  EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(window)));
  EXPECT_EQ(gtk_widget_get_allocated_width(window), 540);
  EXPECT_EQ(gtk_widget_get_allocated_height(window), 400);

  // The window manager's close goes to the setup, which keeps the window while a run goes on.
  GdkEvent* close = gdk_event_new(GDK_DELETE);
  close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  gtk_main_do_event(close);
  gdk_event_free(close);
  run_for(100);
  EXPECT_EQ(setup_window(), window);

  app_state().busy = false;
  host_->destroy_window();
  EXPECT_EQ(setup_window(), nullptr);
  EXPECT_FALSE(host_->post_message(WM_WORKER_DONE, nullptr));  // no window: nothing is queued
}

TEST_F(GtkHostTest, RevealsThePageOnlyOnceItIsPaintedInTheWindow) {
  const auto shown = std::chrono::steady_clock::now();
  GtkWidget* window = open_page_window({60, 40, 60 + 640, 40 + 480}, 1.0);
  ASSERT_NE(window, nullptr);
  WebKitWebView* view = page_view(window);
  ASSERT_NE(view, nullptr);

  // The page says "ready", gets "init" through the bridge and answers "show": from then on the
  // host waits for the page's content to reach the window before it lets the window be seen.
  bool content_at_reveal = false;
  const bool revealed = run_until(
      [&] {
        if (shape_area(window, ShapeBounding) == 1) return false;
        content_at_reveal = view_shows_content(view);
        return true;
      },
      15000);
  const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - shown);
  ASSERT_TRUE(revealed);
  EXPECT_TRUE(content_at_reveal) << "the window was let be seen before the page was painted in it";
  EXPECT_LT(after.count(), 5000) << "revealed by the deadline, not by the page's paint";
  EXPECT_EQ(shape_area(window, ShapeBounding), 640L * 480);
  EXPECT_EQ(page_json(view, "window.__received.map((m) => m.type)"), R"(["init"])");

  // The page has the keyboard from the start: a key pressed now reaches it without a click.
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), GTK_WIDGET(view));
  ASSERT_TRUE(run_until([&] { return page_json(view, "document.hasFocus()") == "true"; }, 5000));
  press_key(window, GDK_KEY_Tab);
  EXPECT_TRUE(run_until([&] { return page_json(view, "window.__keys") == R"(["Tab"])"; }, 5000))
      << page_json(view, "window.__keys");
}

// A loopback HTTP server on the test's main loop that records the path of every request.
class LoopbackServer {
 public:
  LoopbackServer() {
    service_ = g_socket_service_new();
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* any_port = g_inet_socket_address_new(loopback, 0);
    GSocketAddress* bound = nullptr;
    g_socket_listener_add_address(G_SOCKET_LISTENER(service_), any_port, G_SOCKET_TYPE_STREAM,
                                  G_SOCKET_PROTOCOL_TCP, nullptr, &bound, nullptr);
    if (bound) port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
    g_clear_object(&bound);
    g_object_unref(any_port);
    g_object_unref(loopback);
    g_signal_connect(service_, "incoming", G_CALLBACK(on_incoming), this);
    g_socket_service_start(service_);
  }
  ~LoopbackServer() {
    g_socket_service_stop(service_);
    g_socket_listener_close(G_SOCKET_LISTENER(service_));
    g_object_unref(service_);
  }

  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  static gboolean on_incoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer self) {
    // WebKit may open a connection for a link that the view then refuses to follow, and send
    // nothing on it: such a connection is given up after a second, not waited on.
    g_socket_set_timeout(g_socket_connection_get_socket(connection), 1);
    GDataInputStream* in = g_data_input_stream_new(g_io_stream_get_input_stream(G_IO_STREAM(connection)));
    gchar* line = g_data_input_stream_read_line(in, nullptr, nullptr, nullptr);
    if (line) {
      gchar** parts = g_strsplit(line, " ", 3);
      if (parts[0] && parts[1]) static_cast<LoopbackServer*>(self)->paths_.push_back(parts[1]);
      g_strfreev(parts);
      g_free(line);
    }
    static const char kAnswer[] =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nAccess-Control-Allow-Origin: *\r\n"
        "Content-Length: 2\r\nConnection: close\r\n\r\nok";
    g_output_stream_write_all(g_io_stream_get_output_stream(G_IO_STREAM(connection)), kAnswer, sizeof kAnswer - 1,
                              nullptr, nullptr, nullptr);
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    g_object_unref(in);
    return TRUE;
  }

  GSocketService* service_ = nullptr;
  guint16 port_ = 0;
  std::vector<std::string> paths_;
};

TEST_F(GtkHostTest, ShowsThePagesOwnOriginOnly) {
  LoopbackServer server;
  GtkWidget* window = open_page_window({0, 0, 800, 600}, 1.0);
  WebKitWebView* view = page_view(window);
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(run_until([&] { return page_json(view, "window.__received.length") == "1"; }, 15000));
  const std::string start = webkit_web_view_get_uri(view);

  // Every way for the page to leave its origin: a frame, a new window, a link into a new window,
  // a form, the page's own address, and a request of the page itself to another origin.
  const std::string base = server.base();
  const std::string attempts = R"JS((() => {
    const base = ')JS" + base + R"JS(';
    const frame = document.createElement('iframe');
    frame.src = base + 'frame';
    document.body.appendChild(frame);
    window.open(base + 'window');
    const link = document.createElement('a');
    link.href = base + 'link';
    link.target = '_blank';
    document.body.appendChild(link);
    link.click();
    const form = document.createElement('form');
    form.method = 'get';
    form.action = base + 'form';
    document.body.appendChild(form);
    form.submit();
    fetch(base + 'request').catch(() => {});
    setTimeout(() => { location.href = base + 'top'; }, 50);
    return true;
  })())JS";
  EXPECT_EQ(page_json(view, attempts), "true");
  run_for(1500);
  EXPECT_EQ(server.paths(), std::vector<std::string>{});
  EXPECT_EQ(webkit_web_view_get_uri(view), start);
  // The policy that the scheme's answers carry stopped the frame, the form and the request; the
  // navigations away were dropped by the view. The page's own request, style sheet and module
  // script were let through.
  EXPECT_EQ(page_json(view, "[...new Set(window.__violations)].sort()"),
            R"(["connect-src","form-action","frame-src"])");
  EXPECT_EQ(page_json(view, "window.__ownRequest"), "200");
  EXPECT_EQ(page_json(view, "getComputedStyle(document.body).backgroundColor"), R"x("rgb(13, 13, 13)")x");

  // A navigation inside the origin still works, and the new document has the bridge again.
  EXPECT_EQ(page_json(view, "(location.href = 'index.html?again', true)"), "true");
  EXPECT_TRUE(run_until([&] { return g_str_has_suffix(webkit_web_view_get_uri(view), "index.html?again"); }, 10000));
  EXPECT_TRUE(run_until([&] { return page_json(view, "window.__received.length") == "1"; }, 15000));
  EXPECT_EQ(server.paths(), std::vector<std::string>{});
}

TEST_F(GtkHostTest, DesktopAtOneHundredFiftyPercentZoomsThePageToItsBaseSize) {
  // Run with GDK_DPI_SCALE=1.5: GDK reports a 144 DPI screen, as for Xft.dpi 144.
  if (std::abs(gdk_screen_get_resolution(gdk_screen_get_default()) - 144.0) > 0.5) {
    GTEST_SKIP() << "needs a 144 DPI screen (GDK_DPI_SCALE=1.5)";
  }
  EXPECT_EQ(host_->system_dpi(), 144u);
  // 1000 x 730 at 150 % and zoom 0.9: 1350 x 985.5, rounded to 1350 x 986.
  GtkWidget* window = open_page_window({0, 0, 1350, 986}, 0.9);
  WebKitWebView* view = page_view(window);
  ASSERT_NE(view, nullptr);
  // WebKit adds the desktop's 150 % itself.
  EXPECT_NEAR(webkit_web_view_get_zoom_level(view), 0.9, 0.001);
  ASSERT_TRUE(run_until([&] { return page_json(view, "window.__received.length") == "1"; }, 15000));
  EXPECT_EQ(page_json(view, "[innerWidth, innerHeight]"), "[1000,730]");
}

}  // namespace
}  // namespace corvane
