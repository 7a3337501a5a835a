#include "platform/gtk/web_error_mapping.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace plenhall::gtk {
namespace {

TEST(WebErrorMapping, EngineErrorsByDomainAndCode) {
    struct Case {
        const char* name;
        GQuark domain;
        int code;
        WebFailure expected;
    } cases[] = {
        {"stopped or replaced", WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED,
         WebFailure::cancelled},
        {"transport", WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_TRANSPORT, WebFailure::network},
        {"engine network failure", WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FAILED,
         WebFailure::network},
        {"mailto:", WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI,
         WebFailure::cannotShowURL},
        {"answer ignored", WEBKIT_POLICY_ERROR,
         WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE, WebFailure::policyChange},
        {"MIME type", WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE,
         WebFailure::other},
        {"restricted port", WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_USE_RESTRICTED_PORT,
         WebFailure::other},
        {"connection refused", G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED, WebFailure::network},
        {"GIO cancelled", G_IO_ERROR, G_IO_ERROR_CANCELLED, WebFailure::cancelled},
        {"GIO timed out", G_IO_ERROR, G_IO_ERROR_TIMED_OUT, WebFailure::timedOut},
        {"DNS, code 0", G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND, WebFailure::network},
        {"TLS handshake", G_TLS_ERROR, G_TLS_ERROR_MISC, WebFailure::network},
        {"bad certificate", G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE, WebFailure::network},
        {"HTTP parse", SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_PARSING, WebFailure::network},
        // Numbers that only look like the engine's in another domain.
        {"302 elsewhere", G_RESOLVER_ERROR, 302, WebFailure::network},
        {"102 elsewhere", G_IO_ERROR, 102, WebFailure::network},
        {"101 in an unknown domain", g_quark_from_static_string("x-unknown"), 101,
         WebFailure::other},
    };
    for (const auto& c : cases) EXPECT_EQ(webFailure(c.domain, c.code), c.expected) << c.name;
}

TEST(WebErrorMapping, KeepsTheEngineAccountAndTheFailingURL) {
    GError error{WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI,
                 const_cast<gchar*>("The URL can't be shown")};
    const WebError mapped = webError(error, "mailto:a@b.c");
    EXPECT_EQ(mapped.failure, WebFailure::cannotShowURL);
    EXPECT_EQ(mapped.domain, "WebKitPolicyError");
    EXPECT_EQ(mapped.code, 101);
    EXPECT_EQ(mapped.description, "The URL can't be shown");
    EXPECT_EQ(mapped.failingURL, "mailto:a@b.c");
    EXPECT_EQ(webError(error, "").failingURL, std::nullopt);
    EXPECT_EQ(webError(error, nullptr).failingURL, std::nullopt);
}

}  // namespace
}  // namespace plenhall::gtk
