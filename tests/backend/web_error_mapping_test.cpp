#include "platform/gtk/web_error_mapping.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace plenhall::gtk {
namespace {

TEST(WebErrorMapping, EngineErrorsByDomainAndCode) {
    const struct {
        GQuark domain;
        int code;
        WebFailure expected;
    } cases[] = {
        {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED, WebFailure::cancelled},
        {WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FAILED, WebFailure::network},
        {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI, WebFailure::cannotShowURL},
        {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE,
         WebFailure::policyChange},
        {WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE, WebFailure::other},
        {G_IO_ERROR, G_IO_ERROR_CANCELLED, WebFailure::cancelled},
        {G_IO_ERROR, G_IO_ERROR_TIMED_OUT, WebFailure::timedOut},
        {G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE, WebFailure::network},
        {SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_PARSING, WebFailure::network},
        // Numbers that only look like the engine's in another domain.
        {G_RESOLVER_ERROR, 302, WebFailure::network},
        {g_quark_from_static_string("x-unknown"), 101, WebFailure::other},
    };
    for (const auto& c : cases)
        EXPECT_EQ(webFailure(c.domain, c.code), c.expected) << g_quark_to_string(c.domain) << c.code;
}

TEST(WebErrorMapping, KeepsTheEngineAccountAndTheFailingURL) {
    GError error{WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI,
                 const_cast<gchar*>("The URL can't be shown")};
    const WebError mapped = webError(error, "mailto:a@b.c");
    EXPECT_EQ(mapped.domain, "WebKitPolicyError");
    EXPECT_EQ(mapped.code, 101);
    EXPECT_EQ(mapped.description, "The URL can't be shown");
    EXPECT_EQ(mapped.failingURL, "mailto:a@b.c");
    EXPECT_EQ(webError(error, nullptr).failingURL, std::nullopt);
    EXPECT_EQ(webError(error, "").failingURL, std::nullopt);
}

}  // namespace
}  // namespace plenhall::gtk
