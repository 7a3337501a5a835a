// The desktop's light or dark appearance, from the XDG Settings portal's
// org.freedesktop.appearance color-scheme, which GTK 3 does not read by itself (GNOME 42+ and KDE
// keep the user's choice there). It is applied to the toolkit's settings, where the settings
// window's theme and the web engine's prefers-color-scheme both look, and followed while the
// program runs. Without a portal, or with no preference, the GTK theme decides as before.
//
// Thread: main thread only; nothing waits on the bus, so start-up is not held up. Ownership: the
// platform owns this for the life of the process; pending calls and the signal subscriptions end
// with it.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gtk/portal_transport.h"
#include "platform/system.h"

namespace plenhall::gtk {

// The portal's values: 0 no preference, 1 dark, 2 light.
enum class ColorScheme : std::uint32_t { noPreference = 0, dark = 1, light = 2 };

// The scheme in a value the portal sent, through the variants Read wraps it in; nothing for a value
// of any other type or range.
std::optional<ColorScheme> colorSchemeFrom(GVariant* value);

class PortalAppearance final : private PortalTransport::Listener {
  public:
    explicit PortalAppearance(Log& log, std::unique_ptr<PortalTransport> transport = busTransport())
        : log_(log), transport_(std::move(transport)) {}
    PortalAppearance(const PortalAppearance&) = delete;
    PortalAppearance& operator=(const PortalAppearance&) = delete;

    // The settings portal on the application's session bus connection.
    static std::unique_ptr<PortalTransport> busTransport();
    // Once the toolkit is initialised: connects, reads the preference and follows its changes.
    void start() { transport_->start(*this); }

  private:
    void ownerChanged(const std::string& owner) override;
    void signalled(std::string_view path, std::string_view member, GVariant* parameters) override;
    void closed(const std::string& why) override { giveUp(why); }
    // Asks the portal with `method` (ReadOne, or Read on portals older than it).
    void read(const char* method);
    void received(GVariant* value);
    void apply(ColorScheme scheme);
    void giveUp(const std::string& why);

    Log& log_;
    std::unique_ptr<PortalTransport> transport_;
    bool ownerSeen_ = false;  // whether the transport has said anything yet
    // Counts the preference's changes, so a reply older than a change is not applied over it.
    unsigned changes_ = 0;
    // The toolkit's own choice, as it was before the portal's preference was applied.
    std::optional<bool> themePrefersDark_;
    std::string themeName_;
    bool complained_ = false;
};

}  // namespace plenhall::gtk
