#include "web/navigation_policy.h"

#include <utility>

#include "web/url.h"

namespace plenhall {

bool isServiceHost(std::string_view host, std::string_view appHost) {
    if (host == appHost) return true;
    return host.size() > appHost.size() && host.ends_with(appHost) &&
           host[host.size() - appHost.size() - 1] == '.';
}

bool isWebScheme(std::string_view scheme) {
    return scheme == "http" || scheme == "https";
}

Service Service::ofStartURL(std::string_view startURL, std::string host) {
    std::string scheme = urlScheme(startURL).value_or("");
    for (auto& c : scheme) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return Service{std::move(host), scheme == "https"};
}

bool isServicePage(std::string_view url, const Service& service) {
    const auto scheme = urlScheme(url);
    if (!scheme || !(service.httpsOnly ? *scheme == "https" : isWebScheme(*scheme))) return false;
    const auto host = urlHost(url);
    return host && isServiceHost(*host, service.host);
}

NavigationDecision decideNavigation(const NavigationAction& action, const Service& service) {
    if (action.targetFrame && !action.targetFrame->isMainFrame) return NavigationDecision::allow;
    if (!action.url) return NavigationDecision::allow;
    if (!isWebScheme(urlScheme(*action.url).value_or(""))) return NavigationDecision::allow;
    if (!urlHost(*action.url) || isServicePage(*action.url, service)) {
        return NavigationDecision::allow;
    }
    return NavigationDecision::openInBrowser;
}

NewWindowDecision decideNewWindow(const NavigationAction& action, const Service& service) {
    if (!action.url) return NewWindowDecision::ignore;
    // The calendar window has no address bar: whatever loads in it passes for the calendar. Links
    // from strangers (invitations) can carry smb:, file: or an application's own scheme, and
    // handing those to the desktop could mount shares or start programs.
    if (!isWebScheme(urlScheme(*action.url).value_or("")) || !urlHost(*action.url)) {
        return NewWindowDecision::refuseNotWebPage;
    }
    if (!isServicePage(*action.url, service)) return NewWindowDecision::openInBrowser;
    // The engine does not say which frame asked: the body may be a form of another site's frame,
    // which, loaded as the program's own request, would go with every cookie of the user's.
    if (action.httpMethod != "GET") return NewWindowDecision::refuseBody;
    return NewWindowDecision::loadInWebView;
}

ResponseDecision decideNavigationResponse(const NavigationResponse& response,
                                          const Service& service) {
    // Where the engine cannot tell a main-frame navigation from a frame's when it asks about the
    // action, the main frame's page is judged when it answers.
    if (response.isForMainFrame && decideNavigation(NavigationAction{response.url, FrameInfo{true}},
                                                    service) == NavigationDecision::openInBrowser) {
        return ResponseDecision::openInBrowser;
    }
    if (!response.canShowMIMEType || response.isAttachment) return ResponseDecision::refuse;
    return ResponseDecision::allow;
}

}  // namespace plenhall
