#include "nutrients/source/vegso_warnings.hpp"

#include <cstdio>
#include <mutex>
#include <unordered_set>

namespace {

struct warning_target {
    std::mutex lock;
    vegso_warning_sink sink = nullptr;
    void* user = nullptr;
    std::unordered_set<std::string> given;  // keys of the once-only warnings
};

warning_target& target() {
    static warning_target t;
    return t;
}

void deliver(vegso_warning_sink sink, void* user, const std::string& text) {
    if (sink != nullptr) {
        sink(text.c_str(), user);
    } else {
        std::fputs(text.c_str(), stdout);
    }
}

}  // namespace

void vegso_set_warning_sink(vegso_warning_sink sink, void* user) {
    warning_target& t = target();
    std::lock_guard<std::mutex> guard(t.lock);
    t.sink = sink;
    t.user = user;
    t.given.clear();
}

namespace VEGSO {

void warn(const std::string& text) {
    warning_target& t = target();
    vegso_warning_sink sink;
    void* user;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        sink = t.sink;
        user = t.user;
    }
    deliver(sink, user, text);
}

void warnOnce(const std::string& key, const std::string& text) {
    warning_target& t = target();
    vegso_warning_sink sink;
    void* user;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        if (!t.given.insert(key).second) return;
        sink = t.sink;
        user = t.user;
    }
    deliver(sink, user, text);
}

}  // namespace VEGSO
