// The engine's own request object, carried through the core unopened so that loading it keeps the
// page's method, headers and body.
#pragma once

#include <webkit2/webkit2.h>

#include "platform/gtk/glib_ptr.h"
#include "platform/web_view.h"

namespace plenhall::gtk {

class WebKitEngineRequest final : public EngineRequest {
  public:
    explicit WebKitEngineRequest(WebKitURIRequest* request) : request_(refSink(request)) {}
    WebKitURIRequest* get() const { return request_.get(); }

  private:
    GObjectPtr<WebKitURIRequest> request_;
};

}  // namespace plenhall::gtk
