// The program's own page for a calendar that cannot be loaded.
#pragma once

#include <string>

#include "platform/web_view.h"

namespace plenhall {

// The offline document with a "Try again" link to `startURL`.
std::string offlinePage(const std::string& startURL);

// Whether a load failure replaces the page with the offline page. Cancelled loads, loads
// interrupted by a policy decision and URLs the view cannot show leave the page as it is.
bool failureShowsOfflinePage(WebFailure failure);

}  // namespace plenhall
