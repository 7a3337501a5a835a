// The program's own page for a calendar that cannot be loaded.
#pragma once

#include <string>

namespace plenhall {

// The offline document with a "Try again" link to `startURL`.
std::string offlinePage(const std::string& startURL);

// Whether a load failure with `code` replaces the page with the offline page. Cancelled loads,
// loads interrupted by a policy decision and URLs the engine cannot show leave the page as it is.
bool failureShowsOfflinePage(int code);

}  // namespace plenhall
