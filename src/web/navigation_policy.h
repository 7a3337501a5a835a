// Which pages the calendar's web view may show, and what happens to the rest.
#pragma once

#include <string>
#include <string_view>

#include "platform/web_view.h"

namespace plenhall {

// The service domain itself or any subdomain of it: exact text, case-sensitive.
bool isServiceHost(std::string_view host, std::string_view appHost);

// Exactly "http" or "https".
bool isWebScheme(std::string_view scheme);

// The service as the start URL names it.
struct Service {
    std::string host;  // the service domain
    // The start URL is https: a page of the service domain over plain http is another site, since
    // anyone on the network can answer for it.
    bool httpsOnly = false;

    static Service ofStartURL(std::string_view startURL, std::string host);
};

// A web page of the service: on its domain, over https alone when the service is https.
bool isServicePage(std::string_view url, const Service& service);

enum class NavigationDecision {
    allow,
    openInBrowser,  // hand the URL to the desktop's opener, hide the calendar, cancel
};

NavigationDecision decideNavigation(const NavigationAction& action, const Service& service);

enum class NewWindowDecision {
    ignore,            // no URL: nothing to do
    refuseNotWebPage,  // data:, blob:, about:, javascript:, file: or another program's link
    refuseBody,        // a service page asked for with a body (a form sent into a new window)
    openInBrowser,     // hand the URL to the desktop's opener and hide the calendar
    loadInWebView,     // load the URL alone into the calendar's own web view
};

NewWindowDecision decideNewWindow(const NavigationAction& action, const Service& service);

enum class ResponseDecision {
    allow,
    openInBrowser,  // a main-frame page of another site: as for a navigation to it
    refuse,         // neither shown nor saved: the program keeps no files of its own
};

ResponseDecision decideNavigationResponse(const NavigationResponse& response,
                                          const Service& service);

}  // namespace plenhall
