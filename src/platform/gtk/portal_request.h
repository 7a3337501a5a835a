// The portals' way of answering later (org.freedesktop.portal.Request): a call returns the path
// of a request object at once, and the answer comes as that object's Response signal, maybe after
// a dialog the user takes minutes over. Response codes: 0 success, 1 the user cancelled, 2 other.
//
// The path is predictable from our unique name and the handle_token we choose, so the Response
// is listened for before the call is made (the portal may answer before its reply reaches us); a
// portal that finds the path taken adds a suffix and says so in its reply. One request at a time.
//
// Thread: main thread only. Ownership: its client owns it together with the transport, which
// outlives it; nothing it was handed runs once it has gone.
#pragma once

#include <glib.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/gtk/portal_transport.h"

namespace plenhall::gtk {

class PortalRequests {
  public:
    static constexpr guint32 kSuccess = 0;
    // `results` is null for a Response of the wrong type.
    using OnResponse = std::function<void(guint32 code, GVariant* results)>;
    // The call itself failed; no Response follows.
    using OnFailure = std::function<void(const GError* error)>;
    using Parameters = std::function<GVariant*(const std::string& token)>;

    explicit PortalRequests(PortalTransport& transport) : transport_(transport) {}
    PortalRequests(const PortalRequests&) = delete;
    PortalRequests& operator=(const PortalRequests&) = delete;

    // Calls `method` on the portal's object with the parameters made for a fresh handle token.
    void ask(const char* interface, const char* method, const Parameters& parameters,
             OnResponse onResponse, OnFailure onFailure);
    bool pending() const { return pending_.has_value(); }
    // Gives the request awaiting its Response up, on the portal too: that puts away the
    // desktop's dialog, if it shows one, and no Response follows.
    void withdraw();
    // Forgets the request without a word, with the portal that had it gone.
    void drop();
    // Takes a signal from the portal; a Response to ours is answered.
    void signalled(std::string_view path, std::string_view member, GVariant* parameters);

    // Where the portal puts a request or a session ("request", "session") of ours with `token`.
    std::string handlePath(const char* kind, const std::string& token) const;
    // The options dictionary of a request: its handle token and `more`.
    static GVariant* options(const std::string& token,
                             std::initializer_list<std::pair<const char*, GVariant*>> more = {});

  private:
    struct Pending {
        std::string token;
        std::string path;
        OnResponse onResponse;
    };
    void close(const std::string& path);

    PortalTransport& transport_;
    std::optional<Pending> pending_;
    std::string withdrawnToken_;  // of the last request given up before its Response
    std::uint64_t tokens_ = 0;
    std::uint64_t portalGeneration_ = 0;  // moves on with drop(): later replies are a gone portal's
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plenhall::gtk
