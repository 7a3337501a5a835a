// A desktop service's transport driven by the test: calls wait in `calls` until the test answers
// them, and the test says who owns the name and sends signals as any sender. And a log that keeps
// its lines.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_transport.h"
#include "platform/system.h"

namespace plenhall::gtk::testing {

struct RecordingLog : Log {
    void line(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

inline GVariantPtr parsed(const char* text) {
    return GVariantPtr(
        g_variant_ref_sink(g_variant_parse(nullptr, text, nullptr, nullptr, nullptr)));
}

class FakeTransport final : public PortalTransport {
  public:
    // `sent` outlives this, so a test reads what was sent as its client went.
    explicit FakeTransport(std::vector<std::string>& sentLog) : sent(sentLog) {}
    struct Call {
        std::string method;
        GVariantPtr parameters;
        Reply reply;
        void answer(const std::string& text) { reply(parsed(text.c_str()).get(), nullptr); }
        void fail(int dbusError) {
            CPtr<GError, g_error_free> error(g_error_new_literal(G_DBUS_ERROR, dbusError, "test"));
            reply(nullptr, error.get());
        }
    };

    std::string uniqueName() const override { return ":1.9"; }
    void call(const char*, const char*, const char* method, GVariant* parameters,
              const GVariantType*, Reply reply) override {
        calls.push_back({method, GVariantPtr(parameters ? g_variant_ref_sink(parameters) : nullptr),
                         std::move(reply)});
    }
    void send(const char* path, const char*, const char* method, GVariant* parameters) override {
        GVariantPtr sunk(parameters ? g_variant_ref_sink(parameters) : nullptr);
        sent.push_back(std::string(method) + " " + path +
                       (sunk ? " " + takeString(g_variant_print(sunk.get(), TRUE)) : ""));
    }
    Call next() {
        Call call = std::move(calls.front());
        calls.pop_front();
        return call;
    }
    void setOwner(std::string owner) { ownerIs(std::move(owner)); }
    void emit(const std::string& sender, const std::string& path, const char* member,
              const std::string& parameters) {
        signalFrom(sender, path, member, parsed(parameters.c_str()).get());
    }

    std::optional<std::string> unreachable;  // why there is no bus
    std::deque<Call> calls;
    std::vector<std::string>& sent;  // each call nobody waits for: method, path, parameters

  private:
    void connect() override {
        if (unreachable) return closedBecause(*unreachable);
        ownerIs(":1.2");
    }
};

}  // namespace plenhall::gtk::testing
