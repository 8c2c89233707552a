#include "core/warnings.hpp"

#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "core/file_opener.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

struct warning_log {
    std::mutex lock;
    warning_list list;
    std::unordered_map<std::string, std::size_t> index;  // text to its place in list.listed
    // Distinct texts beyond the kept ones, so that each is counted as a kind
    // only once; bounded like the kept ones, past which every further text
    // counts as a new kind.
    std::unordered_set<std::string> overflow;
};

warning_log& the_log() {
    static warning_log l;
    return l;
}

constexpr std::size_t kMaxOverflowTexts = 10000;

std::string trimmed(const std::string& text) {
    const char* const kSpace = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kSpace);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

void warn(const std::string& text) {
    const std::string said = text + card_file_notes(text);
    put_text(stdout, said);
    note_warning(said);
}

void note_warning(const std::string& text) {
    const std::string key = trimmed(text);
    if (key.empty()) return;
    warning_log& l = the_log();
    std::lock_guard<std::mutex> guard(l.lock);
    const auto it = l.index.find(key);
    if (it != l.index.end()) {
        ++l.list.listed[it->second].times;
        return;
    }
    if (l.list.listed.size() < static_cast<std::size_t>(kMaxListedWarnings)) {
        l.index.emplace(key, l.list.listed.size());
        l.list.listed.push_back(given_warning{key, 1});
        return;
    }
    ++l.list.unlisted_times;
    if (l.overflow.count(key) != 0) return;
    ++l.list.unlisted_kinds;
    if (l.overflow.size() < kMaxOverflowTexts) l.overflow.insert(key);
}

warning_list take_warnings() {
    warning_log& l = the_log();
    std::lock_guard<std::mutex> guard(l.lock);
    warning_list out = std::move(l.list);
    l.list = warning_list();
    l.index.clear();
    l.overflow.clear();
    return out;
}

void forget_warnings() { take_warnings(); }

bool warnings_pending() {
    warning_log& l = the_log();
    std::lock_guard<std::mutex> guard(l.lock);
    return !l.list.empty();
}

}  // namespace kesta
