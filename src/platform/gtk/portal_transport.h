// A desktop service on the session bus as its clients see it (a portal, the notification server):
// calls to its well-known name, and the signals and the comings and goings of whoever owns that
// name. The D-Bus plumbing is a small virtual part (PortalGioTransport on the bus, a fake in
// tests); what a signal is worth is decided here, once for every client.
//
// A signal counts only from the process that owns the name now, by its unique name: a signal
// addressed "from" the well-known name can come from any program on the bus (and GLib before the
// fix for CVE-2024-34397, 2.80.1, delivers it as if from the owner).
//
// Thread: main thread only. Ownership: a client owns its transport; the listener outlives it, and
// no reply or report reaches anyone once it has gone.
#pragma once

#include <glib.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace plenhall::gtk {

class PortalTransport {
  public:
    class Listener {
      public:
        // The service's owner changed: its unique name, or empty while nobody holds the name.
        // The first report after start() says who holds it then.
        virtual void ownerChanged(const std::string& owner) = 0;
        // A signal from the owner; any other sender's is dropped before it gets here.
        virtual void signalled(std::string_view path, std::string_view member,
                               GVariant* parameters) = 0;
        // There is no bus to talk on (none reachable, or the connection closed). Final.
        virtual void closed(const std::string& why) = 0;

      protected:
        ~Listener() = default;
    };
    using Reply = std::function<void(GVariant* reply, const GError* error)>;

    virtual ~PortalTransport() = default;

    // Connects and follows the service from now on; reports may come before this returns.
    void start(Listener& listener) {
        listener_ = &listener;
        connect();
    }
    bool started() const { return listener_ != nullptr; }
    const std::string& owner() const { return owner_; }

    // Our own unique name on the bus, which the service puts in the paths of our requests.
    virtual std::string uniqueName() const = 0;
    // Calls the service, which the bus starts where it can. `replyType` null: any reply.
    virtual void call(const char* path, const char* interface, const char* method,
                      GVariant* parameters, const GVariantType* replyType, Reply onReply) = 0;
    // A call whose answer nobody waits for, to a service that runs (it is not started for it).
    virtual void send(const char* path, const char* interface, const char* method,
                      GVariant* parameters) = 0;

  protected:
    virtual void connect() = 0;

    void ownerIs(std::string owner) {
        owner_ = std::move(owner);
        if (listener_) listener_->ownerChanged(owner_);
    }
    void signalFrom(std::string_view sender, std::string_view path, std::string_view member,
                    GVariant* parameters) {
        if (listener_ && !owner_.empty() && sender == owner_)
            listener_->signalled(path, member, parameters);
    }
    void closedBecause(const std::string& why) {
        owner_.clear();
        if (listener_) listener_->closed(why);
    }

  private:
    Listener* listener_ = nullptr;
    std::string owner_;
};

}  // namespace plenhall::gtk
