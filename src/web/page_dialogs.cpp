#include "web/page_dialogs.h"

#include <memory>
#include <utility>

#include "text/localized.h"

namespace plenhall {
namespace {

// Wraps a completion so that a sheet ending twice (a misbehaving backend) cannot answer the page
// twice.
template <class... Args>
std::function<void(Args...)> once(std::function<void(Args...)> completion) {
    auto pending = std::make_shared<std::function<void(Args...)>>(std::move(completion));
    return [pending](Args... args) {
        if (auto c = std::exchange(*pending, nullptr)) c(std::forward<Args>(args)...);
    };
}

}  // namespace

void runAlertSheet(Sheets& sheets, Window& window, const std::string& message,
                   std::function<void()> completion) {
    auto done = once(std::move(completion));
    sheets.beginAlertSheet(Alert{message, {}, std::nullopt}, window,
                           [done](int, std::optional<std::string>) { done(); });
}

void runConfirmSheet(Sheets& sheets, Window& window, const std::string& message,
                     std::function<void(bool)> completion) {
    auto done = once(std::move(completion));
    sheets.beginAlertSheet(Alert{message, {tr("OK"), tr("Cancel")}, std::nullopt}, window,
                           [done](int response, std::optional<std::string>) {
                               done(response == kAlertFirstButtonReturn);
                           });
}

void runPromptSheet(Sheets& sheets, Window& window, const std::string& prompt,
                    const std::optional<std::string>& defaultText,
                    std::function<void(std::optional<std::string>)> completion) {
    auto done = once(std::move(completion));
    AlertTextField field{Rect{0, 0, 300, 24}, defaultText.value_or("")};
    sheets.beginAlertSheet(Alert{prompt, {tr("OK"), tr("Cancel")}, field}, window,
                           [done](int response, std::optional<std::string> text) {
                               if (response == kAlertFirstButtonReturn) {
                                   done(text.value_or(""));
                               } else {
                                   done(std::nullopt);
                               }
                           });
}

void runOpenPanelSheet(Sheets& sheets, Window& window, const OpenPanelParameters& parameters,
                       std::function<void(std::optional<std::vector<std::string>>)> completion) {
    auto done = once(std::move(completion));
    OpenPanel panel{parameters.allowsMultipleSelection, parameters.allowsDirectories};
    sheets.beginOpenPanelSheet(panel, window, [done](int response, std::vector<std::string> paths) {
        if (response == kModalResponseOK) {
            done(std::move(paths));
        } else {
            done(std::nullopt);
        }
    });
}

}  // namespace plenhall
