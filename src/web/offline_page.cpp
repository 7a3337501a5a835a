#include "web/offline_page.h"

#include "platform/web_view.h"

namespace plenhall {

std::string offlinePage(const std::string& startURL) {
    return "<!doctype html><html><head><meta charset=\"utf-8\"><style>\n"
           ":root{color-scheme:light dark}\n"
           "body{margin:0;height:100vh;display:flex;align-items:center;justify-content:center;\n"
           "     font:16px -apple-system,system-ui,sans-serif;background:#f7f5f0;color:#222}\n"
           "@media (prefers-color-scheme:dark){body{background:#1c1c1e;color:#eee}}\n"
           ".box{text-align:center;max-width:360px}\n"
           "h1{font-size:22px;margin:0 0 8px}p{margin:0 0 20px;opacity:.7}\n"
           "a{display:inline-block;padding:10px "
           "22px;border-radius:10px;background:#f25c44;color:#fff;\n"
           "  text-decoration:none;font-weight:600}\n"
           "</style></head><body><div class=\"box\"><div "
           "style=\"font-size:44px\">\U0001F4C5</div>\n"
           "<h1>Can't reach your calendar</h1><p>Check your internet connection, then try "
           "again.</p>\n"
           "<a href=\"" +
           startURL + "\">Try again</a></div></body></html>";
}

bool failureShowsOfflinePage(WebFailure failure) {
    switch (failure) {
        case WebFailure::cancelled:
        case WebFailure::policyChange:
        // A mailto: or tel: link the view cannot show reaches nothing unreachable; treating it
        // like an interrupted load keeps the calendar on screen.
        case WebFailure::cannotShowURL:
            return false;
        case WebFailure::timedOut:
        case WebFailure::network:
        case WebFailure::webProcessGone:
        case WebFailure::other:
            return true;
    }
    return true;
}

}  // namespace plenhall
