#include "platform/gtk/web_error_mapping.h"

#include <gio/gio.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace plenhall::gtk {

WebFailure webFailure(GQuark domain, int code) {
    if (domain == WEBKIT_NETWORK_ERROR) {
        return code == WEBKIT_NETWORK_ERROR_CANCELLED ? WebFailure::cancelled : WebFailure::network;
    }
    if (domain == WEBKIT_POLICY_ERROR) {
        switch (code) {
            case WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI:
                return WebFailure::cannotShowURL;
            case WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE:
                return WebFailure::policyChange;
            default:
                return WebFailure::other;
        }
    }
    if (domain == G_IO_ERROR) {
        switch (code) {
            case G_IO_ERROR_CANCELLED:
                return WebFailure::cancelled;
            case G_IO_ERROR_TIMED_OUT:
                return WebFailure::timedOut;
            default:
                return WebFailure::network;
        }
    }
    if (domain == G_RESOLVER_ERROR || domain == G_TLS_ERROR || domain == SOUP_SESSION_ERROR) {
        return WebFailure::network;
    }
    return WebFailure::other;
}

WebError webError(const GError& error, const char* failingURL) {
    WebError result{webFailure(error.domain, error.code), g_quark_to_string(error.domain),
                    error.code, error.message ? error.message : ""};
    if (failingURL && *failingURL) result.failingURL = failingURL;
    return result;
}

}  // namespace plenhall::gtk
