// The GTK window host's own duties: a created window stays invisible while cloaked (realized, so
// the page can lay out, but never mapped), appears when uncloaked, at its placement's size, and
// never lets the window manager destroy it behind the setup's back. Needs a display (Xvfb).
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "app/app_state.h"
#include "ui/gtk/gtk_ui_host.h"

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

void run_pending_events() {
  for (int i = 0; i < 50; ++i) {
    while (gtk_events_pending()) gtk_main_iteration();
    g_usleep(10000);
  }
}

TEST(GtkHost, CloakedUntilRevealedAtItsPlacementAndClosedOnlyByTheSetup) {
  std::unique_ptr<UiHost> host = make_gtk_ui_host();
  if (!host) GTEST_SKIP() << "no display";
  app_state().host = host.get();
  app_state().busy = true;  // a close request must then be refused

  ASSERT_TRUE(host->create_window({100, 80, 100 + 540, 80 + 400}));
  host->set_cloaked(true);
  host->show_window();
  run_pending_events();
  GtkWidget* window = setup_window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(gtk_widget_get_realized(window));
  EXPECT_FALSE(gtk_widget_get_mapped(window));
  EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(window)));
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));

  host->set_cloaked(false);
  run_pending_events();
  EXPECT_TRUE(gtk_widget_get_mapped(window));
  EXPECT_EQ(gtk_widget_get_allocated_width(window), 540);
  EXPECT_EQ(gtk_widget_get_allocated_height(window), 400);

  // The window manager's close goes to the setup, which refuses it while busy.
  GdkEvent* close = gdk_event_new(GDK_DELETE);
  close->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  gtk_main_do_event(close);
  gdk_event_free(close);
  run_pending_events();
  EXPECT_EQ(setup_window(), window);

  app_state().busy = false;
  host->destroy_window();
  EXPECT_EQ(setup_window(), nullptr);
  EXPECT_FALSE(host->post_message(WM_WORKER_DONE, nullptr));  // no window: nothing is queued
  reset_app_state();
}

}  // namespace
}  // namespace corvane
