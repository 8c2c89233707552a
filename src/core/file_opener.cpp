#include "core/file_opener.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "core/line_reader.hpp"
#include "core/text_format.hpp"

namespace kesta {

namespace {

struct opener_settings {
    int prefix_outputs = 0;   // numbered multi-run mode
    int run_number = 0;       // printed as four digits
    std::string output_subdir;  // ends in '/' when set; empty when none
    int pause_at_exit = 0;
};

opener_settings g_settings;

// A file a project-file card names.
struct card_file {
    std::string card;
    std::string project_file;
    int line = 0;
    int open_errno = 0;  // of its last open for reading, when that failed and is not yet explained; else 0
};

// Messages may come from the threads of a split loop.
std::mutex g_card_files_lock;
std::map<std::string, card_file> g_card_files;  // by the name the card gives
int g_unexplained = 0;  // card files whose failed open is not yet explained

// Records the outcome of opening `name` for reading.
void note_read_open(const std::string& name, int error) {
    std::lock_guard<std::mutex> guard(g_card_files_lock);
    const auto f = g_card_files.find(name);
    if (f == g_card_files.end()) return;
    g_unexplained += (error != 0) - (f->second.open_errno != 0);
    f->second.open_errno = error;
}

// Characters a file name may hold next to the place where `name` is found:
// there it would be part of a longer name.
bool path_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_-./~", c) != nullptr;
}

// True when `name` stands in `text` as a word of its own; a full stop after
// it may end a sentence.
bool mentions(const std::string& text, const std::string& name) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        const bool starts = at == 0 || !path_char(text[at - 1]);
        const bool ends = end == text.size() || !path_char(text[end]) ||
                          (text[end] == '.' && (end + 1 == text.size() || !path_char(text[end + 1])));
        if (starts && ends) return true;
    }
    return false;
}

std::string current_folder() {
    std::vector<char> buf(4096);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return "(the current folder, which cannot be named)";
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

}  // namespace

void note_card_file(std::string name, const std::string& card, const std::string& project_file, int line) {
    strip_quotes(name);
    if (name.empty()) return;
    std::lock_guard<std::mutex> guard(g_card_files_lock);
    card_file& f = g_card_files[name];
    if (f.open_errno != 0) --g_unexplained;
    f = card_file{card, project_file, line, 0};
}

void forget_card_files() {
    std::lock_guard<std::mutex> guard(g_card_files_lock);
    g_card_files.clear();
    g_unexplained = 0;
}

std::string card_file_notes(const std::string& text) {
    std::lock_guard<std::mutex> guard(g_card_files_lock);
    if (g_unexplained == 0) return std::string();
    std::string notes;
    for (auto& [name, f] : g_card_files) {
        if (f.open_errno == 0 || !mentions(text, name)) continue;
        notes += format_text("  Card %s (project file %s, line %d) names %s, which cannot be opened (%s)",
                             f.card.c_str(), f.project_file.c_str(), f.line, name.c_str(),
                             std::strerror(f.open_errno));
        notes += name[0] == '/' ? std::string(".\n")
                                : format_text(" from the folder the run started in (%s): paths in the project "
                                              "file are taken from there.\n",
                                              current_folder().c_str());
        f.open_errno = 0;
        --g_unexplained;
    }
    return notes;
}

std::string output_path(const std::string& name, const char* mode, int add_run_number) {
    if (!g_settings.prefix_outputs || mode == nullptr || mode[0] != 'w') return name;
    // An absolute path already says where the file goes: the sub-folder is
    // for names relative to the working folder.
    const bool absolute = !name.empty() && name[0] == '/';
    std::string path = absolute ? std::string() : g_settings.output_subdir;
    // The folders of the name stay as they are; the number goes before the
    // file's own name.
    const std::size_t slash = name.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    path.append(name, 0, base);
    if (add_run_number) path += format_text("%04d_", g_settings.run_number);
    path.append(name, base, std::string::npos);
    return path;
}

std::size_t control_char_at(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f) return i;
    }
    return std::string::npos;
}

file_ptr open_file(std::string& name, const char* mode, int add_run_number) {
    strip_quotes(name);
    if (name.empty() || mode == nullptr) return file_ptr();
    if (control_char_at(name) != std::string::npos) {
        errno = EINVAL;
        return file_ptr();
    }
    file_ptr fp(std::fopen(output_path(name, mode, add_run_number).c_str(), mode));
    // A folder opens for reading on some systems and then reads as an empty
    // file; every reader would call that an early end of file.
    struct stat st {};
    if (fp && fstat(fileno(fp.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
        fp.reset();
        errno = EISDIR;
    }
    if (mode[0] == 'r') {
        const int error = errno;  // kept for the caller's message
        note_read_open(name, fp ? 0 : error != 0 ? error : ENOENT);
        errno = error;
    }
    return fp;
}

int close_file_checked(file_ptr& fp) {
    if (!fp) return 0;
    std::FILE* f = fp.release();
    const bool had_error = std::ferror(f) != 0;
    const bool close_failed = std::fclose(f) != 0;
    return had_error || close_failed ? -1 : 0;
}

void close_file(file_ptr& fp) { fp.reset(); }

long file_size(std::FILE* fp) {
    if (!fp) return -1;
    const long here = std::ftell(fp);
    if (here < 0 || std::fseek(fp, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(fp);
    if (std::fseek(fp, here, SEEK_SET) != 0) return -1;
    return size;
}

void set_output_prefixing(int on) { g_settings.prefix_outputs = on; }

void set_run_number(int number) { g_settings.run_number = number; }

// An empty folder stays empty: adding '/' to it would send every output to
// the file-system root.
void set_output_subdir(const std::string& folder) {
    g_settings.output_subdir = folder;
    append_backslash(g_settings.output_subdir);
}

void append_backslash(std::string& path) {
    if (!path.empty() && path.back() != '/') path.push_back('/');
}

const std::string& output_subdir() { return g_settings.output_subdir; }

void set_pause_at_exit() { g_settings.pause_at_exit = 1; }

void pause_before_exit() {
    if (!g_settings.pause_at_exit) return;
    std::fputs("Program terminated.  Hit any key to continue.\n", stderr);
    std::getchar();
}

void reset_file_opener_settings() { g_settings = opener_settings(); }

}  // namespace kesta
