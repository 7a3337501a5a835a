// The page's alert, confirm, prompt and file-upload requests, answered with sheets on the
// calendar window. Each completion runs exactly once, after the sheet has ended.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/alerts.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace plenhall {

void runAlertSheet(Sheets& sheets, Window& window, const std::string& message,
                   std::function<void()> completion);
void runConfirmSheet(Sheets& sheets, Window& window, const std::string& message,
                     std::function<void(bool)> completion);
void runPromptSheet(Sheets& sheets, Window& window, const std::string& prompt,
                    const std::optional<std::string>& defaultText,
                    std::function<void(std::optional<std::string>)> completion);
void runOpenPanelSheet(Sheets& sheets, Window& window, const OpenPanelParameters& parameters,
                       std::function<void(std::optional<std::vector<std::string>>)> completion);

}  // namespace plenhall
