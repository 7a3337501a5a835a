// One ownership vocabulary for GLib and GObject resources in the backend: object references,
// strings, lists, variants, errors, signal connections, D-Bus signal subscriptions and name
// watches, pending asynchronous operations and main-loop sources. No bare unref or free elsewhere.
#pragma once

#include <gio/gio.h>
#include <glib-object.h>
#include <glib-unix.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace plenhall::gtk {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};

template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Takes over a reference the caller already owns (a "transfer full" return).
template <class T>
GObjectPtr<T> adopt(T* object) {
    return GObjectPtr<T>(object);
}

// Takes a new reference, sinking a floating one (widgets we keep).
template <class T>
GObjectPtr<T> refSink(T* object) {
    if (object) g_object_ref_sink(object);
    return GObjectPtr<T>(object);
}

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

struct GBytesUnref {
    void operator()(GBytes* bytes) const {
        if (bytes) g_bytes_unref(bytes);
    }
};
using GBytesPtr = std::unique_ptr<GBytes, GBytesUnref>;

inline std::string takeString(gchar* text) {
    GCharPtr owned(text);
    return owned ? std::string(owned.get()) : std::string();
}

// Any C resource with its own release function, such as `CPtr<PangoAttrList,
// pango_attr_list_unref>`.
template <auto Release>
struct CRelease {
    template <class T>
    void operator()(T* resource) const {
        if (resource) Release(resource);
    }
};
template <class T, auto Release>
using CPtr = std::unique_ptr<T, CRelease<Release>>;

// A list whose cells are ours but whose items are not (gtk_window_list_toplevels).
using GListPtr = CPtr<GList, g_list_free>;

struct GStringSListFree {
    void operator()(GSList* list) const { g_slist_free_full(list, g_free); }
};
// A list of strings that are all ours (gtk_file_chooser_get_filenames).
using GStringSListPtr = std::unique_ptr<GSList, GStringSListFree>;

// A variant reference we own (a D-Bus reply, a value looked up in a dictionary).
using GVariantPtr = CPtr<GVariant, g_variant_unref>;

struct GKeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, GKeyFileFree>;

// A GError out-parameter that frees itself.
class GErrorHolder {
  public:
    GErrorHolder() = default;
    GErrorHolder(const GErrorHolder&) = delete;
    GErrorHolder& operator=(const GErrorHolder&) = delete;
    ~GErrorHolder() { g_clear_error(&error_); }

    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    explicit operator bool() const { return error_ != nullptr; }
    const GError* get() const { return error_; }
    std::string message() const { return error_ ? error_->message : ""; }

  private:
    GError* error_ = nullptr;
};

// A signal handler that is disconnected when this object goes, unless the instance went first.
// The handler is a member function of an owner that outlives the connection.
class SignalConnection {
    template <auto Member>
    struct Trampoline;

  public:
    SignalConnection() = default;

    // Connects `Member` of `owner` to `signal` of `instance`; the member takes the signal's
    // arguments after the instance and returns what the signal's handler returns.
    template <auto Member>
    static SignalConnection to(gpointer instance, const char* signal,
                               typename Trampoline<Member>::Owner* owner,
                               GConnectFlags flags = GConnectFlags(0)) {
        return SignalConnection(instance, signal, Trampoline<Member>::afterInstance(), owner,
                                flags);
    }
    // As `to`, for a member that reads or acts on the emitting instance, its first argument.
    template <auto Member>
    static SignalConnection withInstance(gpointer instance, const char* signal,
                                         typename Trampoline<Member>::Owner* owner,
                                         GConnectFlags flags = GConnectFlags(0)) {
        return SignalConnection(instance, signal, Trampoline<Member>::withInstance(), owner, flags);
    }

    SignalConnection(SignalConnection&& other) noexcept { *this = std::move(other); }
    SignalConnection& operator=(SignalConnection&& other) noexcept {
        if (this != &other) {
            disconnect();
            instance_ = other.instance_;
            id_ = other.id_;
            if (instance_) {
                g_object_remove_weak_pointer(instance_,
                                             reinterpret_cast<gpointer*>(&other.instance_));
                g_object_add_weak_pointer(instance_, reinterpret_cast<gpointer*>(&instance_));
            }
            other.instance_ = nullptr;
            other.id_ = 0;
        }
        return *this;
    }
    SignalConnection(const SignalConnection&) = delete;
    SignalConnection& operator=(const SignalConnection&) = delete;
    ~SignalConnection() { disconnect(); }

    // False once the instance has been destroyed.
    bool alive() const { return instance_ != nullptr; }

    void disconnect() {
        if (instance_) {
            g_signal_handler_disconnect(instance_, id_);
            g_object_remove_weak_pointer(instance_, reinterpret_cast<gpointer*>(&instance_));
        }
        instance_ = nullptr;
        id_ = 0;
    }

  private:
    SignalConnection(gpointer instance, const char* signal, GCallback callback, gpointer data,
                     GConnectFlags flags)
        : instance_(G_OBJECT(instance)),
          id_(g_signal_connect_data(instance, signal, callback, data, nullptr, flags)) {
        g_object_add_weak_pointer(instance_, reinterpret_cast<gpointer*>(&instance_));
    }

    template <class Class, class Result, class... Args, Result (Class::*Member)(Args...)>
    struct Trampoline<Member> {
        using Owner = Class;
        static GCallback afterInstance() {
            return G_CALLBACK(+[](gpointer, Args... args, gpointer owner) -> Result {
                return (static_cast<Class*>(owner)->*Member)(args...);
            });
        }
        static GCallback withInstance() {
            return G_CALLBACK(+[](Args... args, gpointer owner) -> Result {
                return (static_cast<Class*>(owner)->*Member)(args...);
            });
        }
    };

    GObject* instance_ = nullptr;
    gulong id_ = 0;
};

// A D-Bus signal subscription, dropped when this goes. GDBus checks that a subscription still
// exists before it dispatches a signal already queued for it, so no callback runs after that.
class DBusSignalSubscription {
  public:
    DBusSignalSubscription() = default;
    // A null argument matches anything, as in g_dbus_connection_signal_subscribe.
    DBusSignalSubscription(GDBusConnection* connection, const char* sender, const char* interface,
                           const char* member, const char* path, const char* arg0,
                           GDBusSignalCallback callback, gpointer data)
        : connection_(G_DBUS_CONNECTION(g_object_ref(connection))),
          id_(g_dbus_connection_signal_subscribe(connection, sender, interface, member, path, arg0,
                                                 G_DBUS_SIGNAL_FLAGS_NONE, callback, data,
                                                 nullptr)) {}
    DBusSignalSubscription(DBusSignalSubscription&& other) noexcept
        : connection_(std::move(other.connection_)), id_(std::exchange(other.id_, 0)) {}
    DBusSignalSubscription& operator=(DBusSignalSubscription&& other) noexcept {
        if (this != &other) {
            unsubscribe();
            connection_ = std::move(other.connection_);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    DBusSignalSubscription(const DBusSignalSubscription&) = delete;
    DBusSignalSubscription& operator=(const DBusSignalSubscription&) = delete;
    ~DBusSignalSubscription() { unsubscribe(); }

    explicit operator bool() const { return id_ != 0; }
    void unsubscribe() {
        if (id_ != 0) g_dbus_connection_signal_unsubscribe(connection_.get(), id_);
        id_ = 0;
        connection_.reset();
    }

  private:
    GObjectPtr<GDBusConnection> connection_;
    guint id_ = 0;
};

// Who owns a well-known name on a bus, followed for as long as this lives: `onOwner` gets the
// owner's unique name when one takes the name, and an empty one when nobody holds it (at the start
// too, when nobody does). A signal subscription with that unique name as its sender hears that
// process alone; one with the well-known name also hears, where GLib lacks the fix for
// CVE-2024-34397 (2.80.1), any program that addresses a signal to us. No call comes once this
// has gone.
class DBusNameWatch {
  public:
    using OnOwner = std::function<void(const std::string& owner)>;
    DBusNameWatch() = default;
    DBusNameWatch(GDBusConnection* connection, const char* name, OnOwner onOwner)
        : id_(g_bus_watch_name_on_connection(
              connection, name, G_BUS_NAME_WATCHER_FLAGS_NONE,
              [](GDBusConnection*, const char*, const char* owner, gpointer data) {
                  (*static_cast<OnOwner*>(data))(owner);
              },
              [](GDBusConnection*, const char*, gpointer data) {
                  (*static_cast<OnOwner*>(data))(std::string());
              },
              new OnOwner(std::move(onOwner)),
              [](gpointer data) { delete static_cast<OnOwner*>(data); })) {}
    DBusNameWatch(DBusNameWatch&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
    DBusNameWatch& operator=(DBusNameWatch&& other) noexcept {
        if (this != &other) {
            stop();
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    DBusNameWatch(const DBusNameWatch&) = delete;
    DBusNameWatch& operator=(const DBusNameWatch&) = delete;
    ~DBusNameWatch() { stop(); }

    void stop() {
        if (id_ != 0) g_bus_unwatch_name(id_);
        id_ = 0;
    }

  private:
    guint id_ = 0;
};

// The cancellable of asynchronous operations that must end with their owner: it is cancelled
// when this goes. GIO still calls their callbacks afterwards, with G_IO_ERROR_CANCELLED, so a
// callback checks `cancelled()` on its own reference before it touches the owner.
class PendingOperations {
  public:
    PendingOperations() : cancellable_(g_cancellable_new()) {}
    PendingOperations(const PendingOperations&) = delete;
    PendingOperations& operator=(const PendingOperations&) = delete;
    ~PendingOperations() { g_cancellable_cancel(cancellable_.get()); }

    GCancellable* get() const { return cancellable_.get(); }
    // A reference for a callback to keep, so it can tell whether the owner is gone.
    GObjectPtr<GCancellable> share() const {
        return GObjectPtr<GCancellable>(G_CANCELLABLE(g_object_ref(cancellable_.get())));
    }
    static bool cancelled(const GObjectPtr<GCancellable>& shared) {
        return g_cancellable_is_cancelled(shared.get());
    }

  private:
    GObjectPtr<GCancellable> cancellable_;
};

// An asynchronous D-Bus call's completion, for g_dbus_connection_call with `run` as the callback.
// It finishes the call even when the owner is gone, and only then runs `onReply`, which may touch
// the owner.
struct DBusCallCompletion {
    GObjectPtr<GCancellable> alive;
    std::function<void(GVariant*, const GError*)> onReply;

    static void run(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<DBusCallCompletion> self(static_cast<DBusCallCompletion*>(data));
        GErrorHolder error;
        GVariantPtr reply(
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, error.out()));
        if (PendingOperations::cancelled(self->alive)) return;
        self->onReply(reply.get(), error.get());
    }
};

// A timeout or idle that runs a callable; removed, and the callable freed, when this goes. Held as
// the GSource itself, not its id, so a source that already ended can never be confused with a
// later one that reuses the id.
class ScheduledCall {
  public:
    ScheduledCall() = default;
    ScheduledCall(ScheduledCall&& other) noexcept
        : source_(std::exchange(other.source_, nullptr)) {}
    ScheduledCall& operator=(ScheduledCall&& other) noexcept {
        if (this != &other) {
            cancel();
            source_ = std::exchange(other.source_, nullptr);
        }
        return *this;
    }
    ScheduledCall(const ScheduledCall&) = delete;
    ScheduledCall& operator=(const ScheduledCall&) = delete;
    ~ScheduledCall() { cancel(); }

    // Runs `work` once, after `delay`.
    static ScheduledCall after(std::chrono::milliseconds delay, std::function<void()> work,
                               int priority = G_PRIORITY_DEFAULT) {
        return make(g_timeout_source_new(guint(std::max<std::int64_t>(delay.count(), 0))), priority,
                    [work = std::move(work)] {
                        work();
                        return false;
                    });
    }
    // Runs `work` every `interval` for as long as it answers true.
    static ScheduledCall every(std::chrono::milliseconds interval, std::function<bool()> work) {
        return make(g_timeout_source_new(guint(std::max<std::int64_t>(interval.count(), 1))),
                    G_PRIORITY_DEFAULT, std::move(work));
    }
    // Runs `work` once, when the loop is next idle at `priority`.
    static ScheduledCall idle(std::function<void()> work, int priority = G_PRIORITY_DEFAULT_IDLE) {
        return make(g_idle_source_new(), priority, [work = std::move(work)] {
            work();
            return false;
        });
    }
    // Runs `work` whenever the loop is idle at `priority`, for as long as it answers true.
    static ScheduledCall idleWhile(std::function<bool()> work,
                                   int priority = G_PRIORITY_DEFAULT_IDLE) {
        return make(g_idle_source_new(), priority, std::move(work));
    }
    // Runs `work` each time the process receives `signal`, until this goes.
    static ScheduledCall onUnixSignal(int signal, std::function<void()> work) {
        return make(g_unix_signal_source_new(signal), G_PRIORITY_DEFAULT, [work = std::move(work)] {
            work();
            return true;
        });
    }

    // True until the call has run (a one-off) or ended, or was cancelled.
    bool pending() const { return source_ && !g_source_is_destroyed(source_); }
    explicit operator bool() const { return pending(); }
    void cancel() {
        if (!source_) return;
        g_source_destroy(source_);
        g_source_unref(source_);
        source_ = nullptr;
    }

  private:
    explicit ScheduledCall(GSource* source) : source_(source) {}

    static ScheduledCall make(GSource* source, int priority, std::function<bool()> work) {
        g_source_set_priority(source, priority);
        g_source_set_callback(
            source,
            [](gpointer data) -> gboolean {
                return (*static_cast<std::function<bool()>*>(data))() ? G_SOURCE_CONTINUE
                                                                      : G_SOURCE_REMOVE;
            },
            new std::function<bool()>(std::move(work)),
            [](gpointer data) { delete static_cast<std::function<bool()>*>(data); });
        g_source_attach(source, nullptr);
        return ScheduledCall(source);
    }

    GSource* source_ = nullptr;  // one reference of ours
};

}  // namespace plenhall::gtk
