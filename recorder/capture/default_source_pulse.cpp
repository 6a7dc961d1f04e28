#include "recorder/capture/default_source.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <memory>

namespace taperly {

namespace {

struct Query {
    ServerAnswer answer{ServerAnswer::Kind::kNoServer, {}, {}};
    bool connected = false;
    bool done = false;
    // Both questions are out at once; done when both are answered.
    int answers_due = 0;
};

void one_answered(Query& query) {
    if (--query.answers_due == 0) {
        query.done = true;
    }
}

struct MainloopFree {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextRelease {
    void operator()(pa_context* context) const {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

void on_server_info(pa_context*, const pa_server_info* info, void* data) {
    auto* query = static_cast<Query*>(data);
    query->answer.kind = ServerAnswer::Kind::kAnswered;
    if (info != nullptr && info->default_source_name != nullptr) {
        query->answer.default_source = info->default_source_name;
    }
    if (info != nullptr && info->server_name != nullptr) {
        query->answer.server_name = info->server_name;
    }
    one_answered(*query);
}

void on_source_info(pa_context*, const pa_source_info* info, int end, void* data) {
    auto* query = static_cast<Query*>(data);
    if (end != 0 || info == nullptr) {
        one_answered(*query);
        return;
    }
    query->answer.sources.push_back({info->name != nullptr ? info->name : "",
                                     info->description != nullptr ? info->description : "",
                                     info->monitor_of_sink != PA_INVALID_INDEX});
}

void on_state(pa_context* context, void* data) {
    auto* query = static_cast<Query*>(data);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_AUTHORIZING:
        case PA_CONTEXT_SETTING_NAME:
            query->connected = true;
            break;
        case PA_CONTEXT_READY:
            query->connected = true;
            query->answers_due = 2;
            if (pa_operation* operation =
                    pa_context_get_server_info(context, on_server_info, data)) {
                pa_operation_unref(operation);
            } else {
                query->done = true;
            }
            if (pa_operation* operation =
                    pa_context_get_source_info_list(context, on_source_info, data)) {
                pa_operation_unref(operation);
            } else {
                query->done = true;
            }
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            query->done = true;
            break;
        default:
            break;
    }
}

}  // namespace

ServerAnswer ask_default_source(std::chrono::milliseconds limit) {
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop) {
        return {ServerAnswer::Kind::kNoServer, {}, {}};
    }
    std::unique_ptr<pa_context, ContextRelease> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Taperly"));
    if (!context) {
        return {ServerAnswer::Kind::kNoServer, {}, {}};
    }
    Query query;
    pa_context_set_state_callback(context.get(), on_state, &query);
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return {ServerAnswer::Kind::kNoServer, {}, {}};
    }
    // Bounded so that a server that hangs cannot hold up an order.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!query.done) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            pa_mainloop_prepare(loop.get(), static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0) {
            break;
        }
    }
    pa_context_set_state_callback(context.get(), nullptr, nullptr);
    if (!query.done && query.connected) {
        query.answer.kind = ServerAnswer::Kind::kSilent;
    }
    return query.answer;
}

}  // namespace taperly
