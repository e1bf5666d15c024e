/* Bare WebKitGTK, for comparison with the host's start-up: one window, the
 * same page served the same way (a private scheme, same policy), and a script
 * message handler that answers the page's first command and quits. */
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>
#include <stdlib.h>
#include <string.h>

static const char *dist;

static const char *mime_type(const char *path) {
  if (g_str_has_suffix(path, ".html")) return "text/html";
  if (g_str_has_suffix(path, ".js")) return "text/javascript";
  if (g_str_has_suffix(path, ".css")) return "text/css";
  if (g_str_has_suffix(path, ".svg")) return "image/svg+xml";
  if (g_str_has_suffix(path, ".wasm")) return "application/wasm";
  return "application/octet-stream";
}

static void serve(WebKitURISchemeRequest *request, gpointer data) {
  (void)data;
  const char *path = webkit_uri_scheme_request_get_path(request);
  gchar *file = g_build_filename(dist, path, NULL);
  gchar *contents = NULL;
  gsize size = 0;
  GError *error = NULL;
  if (!g_file_get_contents(file, &contents, &size, &error)) {
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    g_free(file);
    return;
  }
  GInputStream *stream = g_memory_input_stream_new_from_data(contents, (gssize)size, g_free);
  webkit_uri_scheme_request_finish(request, stream, (gint64)size, mime_type(file));
  g_object_unref(stream);
  g_free(file);
}

static gboolean quit_later(gpointer data) {
  (void)data;
  gtk_main_quit();
  return G_SOURCE_REMOVE;
}

static gboolean on_message(WebKitUserContentManager *manager, JSCValue *value, WebKitScriptMessageReply *reply,
                           gpointer data) {
  (void)manager;
  (void)data;
  JSCValue *answer = jsc_value_new_string(jsc_value_get_context(value), "{\"ok\":true,\"value\":null}");
  webkit_script_message_reply_return_value(reply, answer);
  g_object_unref(answer);
  puts("answered");
  fflush(stdout);
  g_timeout_add(50, quit_later, NULL);
  return TRUE;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: bare_webkit DIST_DIR\n");
    return 2;
  }
  dist = argv[1];
  /* The same environment the host sets, so the comparison is of the host itself. */
  setenv("NO_AT_BRIDGE", "1", 0);
  setenv("GTK_USE_PORTAL", "0", 0);
  setenv("GTK_A11Y", "none", 0);
  gtk_init(&argc, &argv);

  WebKitWebContext *context = webkit_web_context_new();
  webkit_web_context_register_uri_scheme(context, "tovik", serve, NULL, NULL);
  WebKitSecurityManager *security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, "tovik");
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "tovik");

  WebKitUserContentManager *content = webkit_user_content_manager_new();
  webkit_user_content_manager_register_script_message_handler_with_reply(content, "tovik", NULL);
  g_signal_connect(content, "script-message-with-reply-received::tovik", G_CALLBACK(on_message), NULL);

  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1200, 800);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  GtkWidget *view = GTK_WIDGET(g_object_new(
      WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", content,
      "default-content-security-policy",
      "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self' 'unsafe-inline'; "
      "img-src 'self' data:; connect-src tovik://app https: http://localhost:* http://127.0.0.1:*",
      NULL));
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), "tovik://app/index.html");
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
