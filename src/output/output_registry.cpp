#include "output/output_registry.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/grid_writers.hpp"

namespace kesta {

std::FILE* output_slot::get() const {
    return registry_ && record_ >= 0 ? registry_->records[static_cast<std::size_t>(record_)].stream.get() : nullptr;
}

file_identity identify(const std::string& path) {
    file_identity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.shared = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    id.path = (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
    return id;
}

bool same_file(const file_identity& a, const file_identity& b) {
    if (a.exists != b.exists) return false;
    if (a.exists) return !a.shared && !b.shared && a.device == b.device && a.inode == b.inode;
    return a.path == b.path;
}

namespace {

void write_end_mark(const output_record& r) {
    if (r.request.end != end_mark::none) write_dataset_end(r.stream.get(), r.request.end == end_mark::binary_dataset);
}

// Closes an open record after its end mark; the message of a write that
// failed, or "" when it was whole. The error record stops copying messages
// to a summary file that closes.
std::string close_record(output_record& r) {
    if (!r.stream) return std::string();
    if (g_error_record.summary_file == r.stream.get()) g_error_record.summary_file = nullptr;
    write_end_mark(r);
    if (close_file_checked(r.stream) == 0) return std::string();
    return r.request.what.empty()
               ? format_text("Error writing %s: the output is incomplete.\n", r.path.c_str())
               : format_text("Error writing %s %s: the output is incomplete.\n", r.request.what.c_str(),
                             r.path.c_str());
}

std::string path_of(const output_request& request) {
    std::string name = request.name;
    strip_quotes(name);
    return name.empty() ? std::string() : output_path(name, request.mode, request.add_run_number);
}

// False after the refusal (code 4000, stop) when `path`, about to be written
// by the output `request` names, is an input of the run or an output recorded
// before it.
bool output_is_its_own(model_state& m, const output_request& request, const std::string& path) {
    const file_identity target = identify(path);
    const char* what = request.words.c_str();
    std::string text;
    for (const run_input& in : run_inputs(m)) {
        if (!same_file(target, identify(in.path))) continue;
        text = request.fixed
                   ? format_text("Error: %s is always written to %s, but that file is an input of the run "
                                 "(%s, %s).\nWriting it would destroy that input; give the input another name "
                                 "or run the project from another folder.\n",
                                 what, path.c_str(), in.path.c_str(), in.what.c_str())
                   : format_text("Error: %s names %s as its output file, but that file is an input of the run "
                                 "(%s, %s).\nWriting the output would destroy that input; give the output a "
                                 "name of its own.\n",
                                 what, path.c_str(), in.path.c_str(), in.what.c_str());
        break;
    }
    if (text.empty()) {
        for (const output_record& out : m.outputs.records) {
            if (!same_file(target, out.id)) continue;
            const std::string file =
                out.path == path ? path : format_text("%s (also written %s)", path.c_str(), out.path.c_str());
            text = format_text("Error: %s and %s both name the output file %s.\nTwo outputs written to one "
                               "file would garble each other; give each its own name.\n",
                               out.request.words.c_str(), what, file.c_str());
            break;
        }
    }
    if (text.empty()) return true;
    store_refusal(text);
    return false;
}

// The record of `request` claimed ahead, closed before or open now: the same
// output of the same path. -1 for none.
int earlier_record(const output_registry& r, const output_request& request, const std::string& path) {
    for (std::size_t i = 0; i < r.records.size(); ++i) {
        const output_record& e = r.records[i];
        if (e.path == path && e.request.words == request.words) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

output_registry::~output_registry() {
    for (output_record& r : records) {
        if (!r.stream) continue;
        if (g_error_record.summary_file == r.stream.get()) g_error_record.summary_file = nullptr;
        write_end_mark(r);
        r.stream.reset();
    }
}

int output_registry::find(const std::FILE* fp) const {
    if (!fp) return -1;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i].stream.get() == fp) return static_cast<int>(i);
    return -1;
}

void output_registry::bind(output_slot& slot, int index) const {
    slot.registry_ = this;
    slot.record_ = index;
}

opened_output open_output(model_state& m, const output_request& request, output_slot* slot) {
    opened_output result;
    output_registry& reg = m.outputs;
    const std::string path = path_of(request);
    int index = path.empty() ? -1 : earlier_record(reg, request, path);
    if (index < 0 && !path.empty() && !output_is_its_own(m, request, path)) {
        result.refused = true;
        return result;
    }
    if (index >= 0) {
        // An output opened again starts anew: what it held is written over.
        output_record& again = reg.records[static_cast<std::size_t>(index)];
        if (again.stream && g_error_record.summary_file == again.stream.get()) g_error_record.summary_file = nullptr;
        again.stream.reset();
    }
    std::string name = request.name;
    file_ptr fp = open_file(name, request.mode, request.add_run_number);
    if (!fp) return result;
    result.fp = fp.get();
    if (index < 0) {
        reg.records.push_back(output_record{request, path, file_identity(), file_ptr()});
        index = static_cast<int>(reg.records.size()) - 1;
    }
    output_record& r = reg.records[static_cast<std::size_t>(index)];
    r.stream = std::move(fp);
    // Opened, the file exists: later outputs meet it by its device and inode.
    r.id = identify(path);
    if (slot) reg.bind(*slot, index);
    return result;
}

bool claim_output(model_state& m, const output_request& request) {
    const std::string path = path_of(request);
    if (path.empty() || earlier_record(m.outputs, request, path) >= 0) return true;
    if (!output_is_its_own(m, request, path)) return false;
    m.outputs.records.push_back(output_record{request, path, identify(path), file_ptr()});
    return true;
}

bool close_output(model_state& m, std::FILE* fp) {
    const int index = m.outputs.find(fp);
    if (index < 0) return true;
    const std::string failure = close_record(m.outputs.records[static_cast<std::size_t>(index)]);
    return failure.empty() || refuse(failure);
}

bool close_output(model_state& m, output_slot& slot) { return close_output(m, slot.get()); }

bool close_all_outputs(model_state& m) {
    bool written = true;
    for (int group = 0; group <= static_cast<int>(output_group::written_whole); ++group) {
        for (output_record& r : m.outputs.records) {
            if (static_cast<int>(r.request.group) != group) continue;
            const std::string failure = close_record(r);
            if (failure.empty()) continue;
            print_both(failure);
            written = false;
        }
    }
    return written;
}

std::string written_file_words(const model_state& m, const std::FILE* fp) {
    const int index = m.outputs.find(fp);
    if (index < 0) return "its output file";
    const output_request& s = m.outputs.records[static_cast<std::size_t>(index)].request;
    return s.words.compare(0, 5, "card ") == 0 ? s.name + " (" + s.words + ")" : s.name;
}

}  // namespace kesta
