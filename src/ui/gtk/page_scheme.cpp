#include "ui/gtk/page_scheme.h"

#include <webkit2/webkit2.h>

#include <string>

#include "os/text.h"
#include "ui/resource_server.h"

namespace corvane {
namespace {

constexpr char kScheme[] = "corvane-setup";

void on_scheme_request(WebKitURISchemeRequest* request, gpointer) {
  const gchar* uri = webkit_uri_scheme_request_get_uri(request);
  // The media player asks for the video in parts (and for the part it seeks to).
  SoupMessageHeaders* asked = webkit_uri_scheme_request_get_http_headers(request);
  const char* range = asked ? soup_message_headers_get_one(asked, "Range") : nullptr;
  const ResourceResponse answer = serve_resource(os::from_utf8(uri ? uri : ""), os::from_utf8(range ? range : ""));
  // Each response owns its own copy of the bytes.
  const gsize size = answer.body.size();
  gpointer bytes = size ? g_memdup2(answer.body.data(), size) : nullptr;
  GInputStream* stream = g_memory_input_stream_new_from_data(bytes, static_cast<gssize>(size), g_free);
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(size));
  webkit_uri_scheme_response_set_status(response, static_cast<guint>(answer.status), answer.reason.c_str());
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  if (!answer.content_type.empty()) {
    const std::string type = os::to_utf8(answer.content_type);
    webkit_uri_scheme_response_set_content_type(response, type.c_str());
    // fetch() sees the type only when it is also among the response headers.
    soup_message_headers_append(headers, "Content-Type", type.c_str());
  }
  if (!answer.content_range.empty()) soup_message_headers_append(headers, "Content-Range", answer.content_range.c_str());
  const std::string policy(kContentSecurityPolicy);
  soup_message_headers_append(headers, "Content-Security-Policy", policy.c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers over
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
  g_object_unref(stream);
}

}  // namespace

void register_page_scheme(WebKitWebContext* context) {
  webkit_web_context_register_uri_scheme(context, kScheme, on_scheme_request, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_secure(security, kScheme);
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kScheme);
}

}  // namespace corvane
