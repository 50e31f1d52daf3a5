// The start-up benchmark's baseline: the least a WebKitGTK window can do. A borderless window of
// the setup's size (1200 x 876, centred), titled "Baseline", with a default web view that loads a
// small static page; the window is shown once that load has finished. Nothing else: no custom
// scheme, no bridge, no fonts, images or video. Runs until it is killed or closed.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

constexpr char kPage[] = R"HTML(<!doctype html>
<html lang="ru"><head><meta charset="utf-8"><title>Baseline</title>
<style>
  html, body { margin: 0; height: 100%; background: #0d0d0d; color: #fff; font: 14px sans-serif; }
  .hero { position: absolute; left: 20px; top: 20px; width: 960px; height: 280px; border-radius: 18px;
          background: linear-gradient(120deg, #3a0b0b, #f72120); }
  h1 { position: absolute; left: 50px; top: 340px; margin: 0; font-size: 28px; }
  p { position: absolute; left: 50px; top: 390px; margin: 0; color: rgba(255, 255, 255, 0.6); }
</style></head>
<body><div class="hero"></div><h1>Установка клиента</h1>
<p>Статическая страница для сравнения времени запуска.</p></body></html>)HTML";

void on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer window) {
  if (event == WEBKIT_LOAD_FINISHED) gtk_widget_show_all(GTK_WIDGET(window));
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Baseline");
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_widget_set_size_request(window, 1200, 876);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "load-changed", G_CALLBACK(on_load_changed), window);
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), kPage, "about:blank");
  gtk_main();
  return 0;
}
