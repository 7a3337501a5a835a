#include "platform/gtk/soup_http_client.h"

#include <optional>
#include <string>

namespace plenhall::gtk {
namespace {

constexpr gsize kReadChunk = 64 * 1024;

// One exchange. Its callbacks hold it, never the client or the handle.
struct Transfer {
    std::function<void(HttpResult)> completion;
    std::size_t maxBytes = 0;
    GObjectPtr<GCancellable> cancellable = adopt(g_cancellable_new());
    GObjectPtr<SoupMessage> message;
    GObjectPtr<GInputStream> stream;
    std::string body;
    ScheduledCall deadline;
    ScheduledCall early;  // an answer known before anything was sent

    // Ends the exchange; the completion runs at most once and may destroy the handle.
    void finish(HttpResult result) {
        stop();
        if (auto done = std::exchange(completion, nullptr)) done(std::move(result));
    }
    void stop() {
        deadline.cancel();
        early.cancel();
        g_cancellable_cancel(cancellable.get());
    }
};

using TransferRef = std::shared_ptr<Transfer>;

class SoupRequest final : public HttpClient::Request {
  public:
    explicit SoupRequest(TransferRef transfer) : transfer_(std::move(transfer)) {}
    ~SoupRequest() override {
        transfer_->completion = nullptr;
        transfer_->stop();
    }

  private:
    TransferRef transfer_;
};

HttpError failure(HttpFailure kind, const GErrorHolder& error) {
    return HttpError{kind, 0, error.message()};
}

// Where a redirect sends the request, resolved against the request's URL; nothing for any other
// answer, or a redirect whose Location cannot be resolved (it stays a status failure). The
// statuses are the ones libsoup itself follows.
std::optional<std::string> redirectLocation(SoupMessage* message) {
    switch (soup_message_get_status(message)) {
        case SOUP_STATUS_MOVED_PERMANENTLY:
        case SOUP_STATUS_FOUND:
        case SOUP_STATUS_SEE_OTHER:
        case SOUP_STATUS_TEMPORARY_REDIRECT:
        case SOUP_STATUS_PERMANENT_REDIRECT:
            break;
        default:
            return std::nullopt;
    }
    const char* location =
        soup_message_headers_get_one(soup_message_get_response_headers(message), "Location");
    if (!location) return std::nullopt;
    GErrorHolder error;
    CPtr<GUri, g_uri_unref> target(g_uri_parse_relative(
        soup_message_get_uri(message), location, GUriFlags(SOUP_HTTP_URI_FLAGS), error.out()));
    if (!target) return std::nullopt;
    return takeString(g_uri_to_string(target.get()));
}

void onRead(GObject* source, GAsyncResult* result, gpointer data);

void readMore(TransferRef* pending) {
    Transfer& transfer = **pending;
    g_input_stream_read_bytes_async(transfer.stream.get(), kReadChunk, G_PRIORITY_DEFAULT,
                                    transfer.cancellable.get(), onRead, pending);
}

void onSent(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<TransferRef> pending(static_cast<TransferRef*>(data));
    GErrorHolder error;
    auto stream = adopt(soup_session_send_finish(SOUP_SESSION(source), result, error.out()));
    Transfer& transfer = **pending;
    if (!transfer.completion) return;
    if (!stream) {
        transfer.finish(failure(HttpFailure::network, error));
        return;
    }
    const guint status = soup_message_get_status(transfer.message.get());
    if (auto location = redirectLocation(transfer.message.get())) {
        transfer.finish(HttpRedirect{std::move(*location)});
        return;
    }
    if (status != SOUP_STATUS_OK) {
        const char* reason = soup_message_get_reason_phrase(transfer.message.get());
        transfer.finish(HttpError{HttpFailure::status, int(status), reason ? reason : ""});
        return;
    }
    transfer.stream = std::move(stream);
    readMore(pending.release());
}

void onRead(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<TransferRef> pending(static_cast<TransferRef*>(data));
    GErrorHolder error;
    GBytesPtr bytes(g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, error.out()));
    Transfer& transfer = **pending;
    if (!transfer.completion) return;
    if (!bytes) {
        transfer.finish(failure(HttpFailure::network, error));
        return;
    }
    gsize size = 0;
    const auto* chunk = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
    if (size == 0) {
        transfer.finish(std::move(transfer.body));
        return;
    }
    if (size > transfer.maxBytes - std::min(transfer.maxBytes, transfer.body.size())) {
        transfer.finish(HttpError{HttpFailure::tooLarge, 0, ""});
        return;
    }
    transfer.body.append(chunk, size);
    readMore(pending.release());
}

}  // namespace

SoupHttpClient::SoupHttpClient() : session_(adopt(soup_session_new())) {}

std::unique_ptr<HttpClient::Request> SoupHttpClient::get(
    const HttpRequest& request, std::function<void(HttpResult)> completion) {
    auto transfer = std::make_shared<Transfer>();
    transfer->completion = std::move(completion);
    transfer->maxBytes = request.maxBytes;
    std::weak_ptr<Transfer> weak = transfer;

    transfer->message = adopt(soup_message_new("GET", request.url.c_str()));
    if (!transfer->message) {
        // Answered on the next turn of the loop: the completion never runs inside get().
        transfer->early = ScheduledCall::idle([weak] {
            if (auto alive = weak.lock())
                alive->finish(HttpError{HttpFailure::invalidAddress, 0, ""});
        });
        return std::make_unique<SoupRequest>(std::move(transfer));
    }
    // A redirect is answered to the caller, who decides whether the request may go there.
    soup_message_add_flags(transfer->message.get(), SOUP_MESSAGE_NO_REDIRECT);
    if (!request.userAgent.empty()) {
        soup_message_headers_replace(soup_message_get_request_headers(transfer->message.get()),
                                     "User-Agent", request.userAgent.c_str());
    }
    transfer->deadline = ScheduledCall::after(request.deadline, [weak] {
        if (auto alive = weak.lock()) alive->finish(HttpError{HttpFailure::timedOut, 0, ""});
    });
    soup_session_send_async(session_.get(), transfer->message.get(), G_PRIORITY_DEFAULT,
                            transfer->cancellable.get(), onSent, new TransferRef(transfer));
    return std::make_unique<SoupRequest>(std::move(transfer));
}

}  // namespace plenhall::gtk
