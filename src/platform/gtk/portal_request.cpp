#include "platform/gtk/portal_request.h"

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

}  // namespace

void PortalRequests::ask(const char* interface, const char* method, const Parameters& parameters,
                         OnResponse onResponse, OnFailure onFailure) {
    const std::string token = "plenhall_" + std::to_string(++tokens_);
    const std::string path = handlePath("request", token);
    pending_ = Pending{token, path, std::move(onResponse)};
    const auto generation = portalGeneration_;
    transport_.call(kPortalPath, interface, method, parameters(token), G_VARIANT_TYPE("(o)"),
                    [this, alive = std::weak_ptr<bool>(alive_), generation, token, path,
                     onFailure = std::move(onFailure)](GVariant* reply, const GError* error) {
                        if (!alive.lock() || generation != portalGeneration_) return;
                        const bool ours = pending_ && pending_->token == token;
                        if (error) {
                            if (!ours) return;
                            pending_.reset();
                            return onFailure(error);
                        }
                        const char* handle = nullptr;
                        g_variant_get(reply, "(&o)", &handle);
                        if (!ours) {
                            // Given up before the portal said where it put the request: closed
                            // there too.
                            if (token == withdrawnToken_ && path != handle) close(handle);
                            return;
                        }
                        pending_->path = handle;
                    });
}

void PortalRequests::withdraw() {
    if (!pending_) return;
    close(pending_->path);
    withdrawnToken_ = pending_->token;
    pending_.reset();
}

void PortalRequests::drop() {
    ++portalGeneration_;
    pending_.reset();
}

void PortalRequests::signalled(std::string_view path, std::string_view member,
                               GVariant* parameters) {
    if (member != "Response" || !pending_ || pending_->path != path) return;
    auto onResponse = std::move(pending_->onResponse);
    pending_.reset();
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
        return onResponse(0, nullptr);
    guint32 code = 0;
    GVariant* rawResults = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &rawResults);
    GVariantPtr results(rawResults);
    onResponse(code, results.get());
}

std::string PortalRequests::handlePath(const char* kind, const std::string& token) const {
    std::string sender = transport_.uniqueName();
    if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
    for (char& c : sender) {
        if (c == '.') c = '_';
    }
    return std::string(kPortalPath) + "/" + kind + "/" + sender + "/" + token;
}

GVariant* PortalRequests::options(const std::string& token,
                                  std::initializer_list<std::pair<const char*, GVariant*>> more) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&builder, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    for (auto [key, value] : more) g_variant_builder_add(&builder, "{sv}", key, value);
    return g_variant_builder_end(&builder);
}

void PortalRequests::close(const std::string& path) {
    // Nothing waits for the answer: a request already answered is gone, which is no error of ours.
    transport_.send(path.c_str(), kRequestInterface, "Close", nullptr);
}

}  // namespace plenhall::gtk
