#include "web/page_dialogs.h"
#include "text/product_name.h"

#include <utility>

namespace plenhall {
namespace {

// Wraps a completion so that a dialog ending twice (a misbehaving backend) cannot answer the page
// twice.
template <class... Args>
std::function<void(Args...)> once(std::function<void(Args...)> completion) {
    auto pending = std::make_shared<std::function<void(Args...)>>(std::move(completion));
    return [pending](Args... args) {
        if (auto c = std::exchange(*pending, nullptr)) c(std::forward<Args>(args)...);
    };
}

}  // namespace

PageDialogs::PageDialogs(Dialogs& dialogs, Window& window, Clock& clock)
    : dialogs_(dialogs), window_(window), clock_(clock) {}

void PageDialogs::begin(Alert alert,
                        std::function<void(AlertAnswer, std::optional<std::string>)> done) {
    const auto now = clock_.now();
    // A clock set back counts as a pause, never as quick.
    const bool quick =
        lastEnded_ && now >= *lastEnded_ && now - *lastEnded_ <= kDialogQuickSuccession;
    inSuccession_ = quick ? inSuccession_ + 1 : 1;
    AlertAnswer blockAnswer;
    if (inSuccession_ >= kDialogsBeforeBlockOffer) {
        // The alert's own single button becomes one of two.
        if (alert.buttons.empty()) alert.buttons.push_back(tr("OK"));
        blockAnswer = alert.buttons.size();
        alert.buttons.push_back(tr(kBlockDialogs));
        alert.secondaryText = tr(kBlockDialogsNote);
    }
    alert.title = kProductName;
    dialogs_.showModalAlert(
        alert, window_,
        [weak = std::weak_ptr<bool>(alive_), this, blockAnswer, done = std::move(done)](
            AlertAnswer answer, std::optional<std::string> text) {
            if (weak.lock()) {
                lastEnded_ = clock_.now();
                if (blockAnswer && answer == blockAnswer) blocked_ = true;
            }
            done(answer, std::move(text));
        });
}

void PageDialogs::alert(const std::string& message, std::function<void()> completion) {
    auto done = once(std::move(completion));
    if (blocked_) return done();
    begin(Alert{message, {}, std::nullopt},
          [done](AlertAnswer, std::optional<std::string>) { done(); });
}

void PageDialogs::confirm(const std::string& message, std::function<void(bool)> completion) {
    auto done = once(std::move(completion));
    if (blocked_) return done(false);
    begin(Alert{message, {tr("OK"), tr("Cancel")}, std::nullopt},
          [done](AlertAnswer answer, std::optional<std::string>) { done(answer == 0u); });
}

void PageDialogs::prompt(const std::string& prompt, const std::optional<std::string>& defaultText,
                         std::function<void(std::optional<std::string>)> completion) {
    auto done = once(std::move(completion));
    if (blocked_) return done(std::nullopt);
    AlertEntry field{Rect{0, 0, 300, 24}, defaultText.value_or("")};
    begin(Alert{prompt, {tr("OK"), tr("Cancel")}, field},
          [done](AlertAnswer answer, std::optional<std::string> text) {
              if (answer == 0u) {
                  done(text.value_or(""));
              } else {
                  done(std::nullopt);
              }
          });
}

void PageDialogs::fileChooser(
    const FileRequest& parameters,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
    // The engine asks only on the user's click, so the page cannot repeat it on its own.
    auto done = once(std::move(completion));
    FileChooser panel{parameters.selectMultiple, parameters.selectFolders, kProductName};
    dialogs_.showFileChooser(panel, window_, done);
}

void PageDialogs::pageLoaded() {
    // The succession goes on: a page that reloads itself between dialogs is offered the block
    // again at its next one.
    blocked_ = false;
}

}  // namespace plenhall
