// The page's alert, confirm, prompt and file-upload requests, answered with dialogs on the
// calendar window. Each completion runs exactly once, after the dialog has ended.
//
// A page that asks again and again cannot hold the user: from the third dialog in quick succession
// on, the dialog offers to block the page's dialogs, and once the user has, the page's alerts,
// confirms and prompts are answered at once as if cancelled, without a dialog, until a page loads.
//
// Thread: main thread only. Ownership: the application controller owns this; the dialogs, the
// window and the clock outlive it. A dialog ending after this has gone still answers the page.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/alerts.h"
#include "platform/system.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "text/localized.h"

namespace plenhall {

// A dialog asked for within this long of the previous one's end follows it in quick succession.
inline constexpr std::chrono::seconds kDialogQuickSuccession{3};
// The dialog of a quick succession from which on blocking is offered.
inline constexpr int kDialogsBeforeBlockOffer = 3;
inline constexpr const char* kBlockDialogs = trKey("Block Dialogs");
inline constexpr const char* kBlockDialogsNote =
    trKey("This page keeps showing dialogs. Block its dialogs until it loads again?");

class PageDialogs {
  public:
    PageDialogs(Dialogs& dialogs, Window& window, Clock& clock);
    PageDialogs(const PageDialogs&) = delete;
    PageDialogs& operator=(const PageDialogs&) = delete;

    void alert(const std::string& message, std::function<void()> completion);
    void confirm(const std::string& message, std::function<void(bool)> completion);
    void prompt(const std::string& prompt, const std::optional<std::string>& defaultText,
                std::function<void(std::optional<std::string>)> completion);
    void fileChooser(const FileRequest& parameters,
                     std::function<void(std::optional<std::vector<std::string>>)> completion);
    // A page has loaded in place of the last: its dialogs show again.
    void pageLoaded();

  private:
    // Shows `alert` as a dialog, with the offer to block when it is due. `done` hears the response,
    // which is never the first button's when the user blocked.
    void begin(Alert alert, std::function<void(AlertAnswer, std::optional<std::string>)> done);

    Dialogs& dialogs_;
    Window& window_;
    Clock& clock_;
    bool blocked_ = false;
    int inSuccession_ = 0;  // dialogs of the current quick succession, the one on screen included
    std::optional<Clock::TimePoint> lastEnded_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plenhall
