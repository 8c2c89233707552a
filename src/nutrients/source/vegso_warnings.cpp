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

// Where the calling thread's warnings go instead of the sink, if anywhere.
thread_local vegso_warning_list* t_kept = nullptr;

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

vegso_warning_list* vegso_keep_warnings(vegso_warning_list* list) {
    vegso_warning_list* before = t_kept;
    t_kept = list;
    return before;
}

void vegso_give_warnings(vegso_warning_list* list) {
    if (list == nullptr) return;
    // Given on this thread, as they would have been when they were kept.
    vegso_warning_list* kept = vegso_keep_warnings(nullptr);
    for (const vegso_warning_list::entry& e : list->entries) {
        if (e.once)
            VEGSO::warnOnce(e.key, e.text);
        else
            VEGSO::warn(e.text);
    }
    list->entries.clear();
    vegso_keep_warnings(kept);
}

namespace VEGSO {

void warn(const std::string& text) {
    if (t_kept != nullptr) {
        t_kept->entries.push_back({false, std::string(), text});
        return;
    }
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
    if (t_kept != nullptr) {
        t_kept->entries.push_back({true, key, text});
        return;
    }
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
