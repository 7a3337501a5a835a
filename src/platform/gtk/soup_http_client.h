// HTTP GET over libsoup: the body is read in chunks so an oversized one is cut off as soon as it
// passes the limit, a deadline covers the whole exchange, and a redirect is answered, not followed.
//
// Thread: main thread only; the work is asynchronous on the main loop. Ownership: the composition
// root owns the client; each request's state is shared with its pending callbacks, so a request
// given up (its handle destroyed) can still be finished safely by libsoup.
#pragma once

#include <libsoup/soup.h>

#include "platform/gtk/glib_ptr.h"
#include "platform/http.h"

namespace plenhall::gtk {

class SoupHttpClient final : public HttpClient {
  public:
    SoupHttpClient();
    std::unique_ptr<Request> get(const HttpRequest& request,
                                 std::function<void(HttpResult)> completion) override;

  private:
    GObjectPtr<SoupSession> session_;
};

}  // namespace plenhall::gtk
