// The one way every file of a run is opened, and the process-wide settings of
// numbered multi-run mode. Also the pause before the process ends on a fatal
// message.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace kesta {

struct file_closer {
    void operator()(std::FILE* fp) const noexcept { if (fp) std::fclose(fp); }
};
// An open stream that closes itself; empty means "none".
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Opens `name` with the C stream `mode`. One leading and one trailing double
// quote are stripped from `name` in place. An empty name yields none without
// touching the file system, and a folder yields none (errno EISDIR) in every
// mode. In numbered multi-run mode a file opened for writing ("w...") goes into
// the output sub-folder (when one is set and the name is relative) and, when
// `add_run_number` is 1, gets the run number as "%04d_" before the file's own
// name (after any folders the name holds); files opened for reading or
// appending are never redirected. A name holding a control character is
// refused without touching the file system (errno EINVAL): the system would
// see another name (a NUL byte ends it early). Prints nothing on failure: the
// caller reports.
file_ptr open_file(std::string& name, const char* mode, int add_run_number);

// Files named by project-file cards. A file that a card names and that will
// not open for reading is traced back to the card, the project file and the
// card's line, and to the folder its relative path was taken from.
//
// Records that card `card` on line `line` of project file `project_file`
// names the file `name` (one pair of surrounding quotes is dropped); a later
// card naming the same file takes the place of an earlier one.
void note_card_file(std::string name, const std::string& card, const std::string& project_file, int line);
// Forgets every noted card file and failed open, as a new project file is
// read.
void forget_card_files();
// For each noted file whose last open_file for reading failed and whose name
// stands in `text` as a word of its own: a line (indented, with its line end)
// saying which card and line name it, why it did not open and, for a relative
// path, the folder the path was taken from. Each failure is explained once;
// empty when there is nothing to explain.
std::string card_file_notes(const std::string& text);

// Offset of the first control character (a byte below 0x20, or 0x7f) of a
// file name; std::string::npos when it has none.
std::size_t control_char_at(const std::string& name);

// The path open_file would use for `name` (quotes already stripped) and `mode`;
// lets a file written in numbered mode be read back from where it was written.
std::string output_path(const std::string& name, const char* mode, int add_run_number);

// Closes the stream when there is one and leaves the handle empty.
void close_file(file_ptr& fp);
// As close_file for a file that was written: -1 when a write failed (the
// stream's error flag) or the close could not flush what was buffered, else 0.
// No stream is 0.
int close_file_checked(file_ptr& fp);

// Bytes of the whole file behind an open stream, whatever its position
// (which it keeps); -1 when the stream cannot seek. A count read from the
// file can be held against it: n values need at least 2n - 1 bytes.
long file_size(std::FILE* fp);

void set_output_prefixing(int on);
void set_run_number(int number);
// Stores the folder, ending it with the folder separator '/', and turns the
// sub-folder on. It stays for the rest of the process. An empty folder leaves
// the sub-folder off.
void set_output_subdir(const std::string& folder);
// Adds the folder separator to a non-empty path that does not end in one.
void append_backslash(std::string& path);

const std::string& output_subdir();  // empty when none was set

void set_pause_at_exit();
// With the pause on, prints "Program terminated.  Hit any key to continue.\n"
// on standard error and waits for one character on standard input.
void pause_before_exit();

// Restores every setting above to its process-start value. For tests only.
void reset_file_opener_settings();

}  // namespace kesta
