#pragma once
// The diagnostics sink: progress lines, warnings and errors go to standard error,
// or to a string while a test captures them.
#include <string>
#include <string_view>

namespace velmora {

[[gnu::format(printf, 1, 2)]] void report(const char* format, ...);

// Reports a line, record or object of an input that was left out or lost part of
// itself: written as report() writes, and noted as the input's first problem when no
// problem was noted before (see problem_watch).
[[gnu::format(printf, 1, 2)]] void report_problem(const char* format, ...);

// Passes on text as it stands (messages that another thread collected), with the first
// problem that was reported among them, if any.
void report_text(std::string_view text, std::string_view first_problem = {});

// A status text shown at the end of the current line of standard error (a progress
// indicator).  Messages written while it is shown erase it first; it is drawn again by
// the next call.  An empty text erases it.
void show_status(std::string_view text);

// True when the character set of the user's locale (LC_ALL, LC_CTYPE or LANG, as the C
// library reads them) is UTF-8.  The process locale is left as it is, so that numbers
// are still read in the "C" conventions.  Decided once per process.
[[nodiscard]] bool terminal_is_utf8();

// A text for a message, safe to send to a terminal: control characters (below 0x20
// except tab, 0x7F, and U+0080 to U+009F: in UTF-8 text their two-byte form, in other
// text the bytes 0x80 to 0x9F, which 8-bit terminals take as controls) are shown as
// \xNN.  Other bytes pass unchanged.
[[nodiscard]] std::string escape_controls(std::string_view text, bool utf8);

// A file name for a message: control characters shown as \xNN, as escape_controls()
// shows them for the terminal's character set.
[[nodiscard]] std::string shown_file_name(std::string_view name);

// While an object of this class lives, the messages of its thread are collected in
// text() instead of being written to standard error.
class message_capture {
  public:
    message_capture();
    ~message_capture();
    message_capture(const message_capture&) = delete;
    message_capture& operator=(const message_capture&) = delete;

    [[nodiscard]] const std::string& text() const { return text_; }
    // The first message among them reported by report_problem(), without its leading
    // line break; empty when there was none.
    [[nodiscard]] const std::string& first_problem() const { return first_problem_; }
    void clear() {
        text_.clear();
        first_problem_.clear();
    }

  private:
    std::string text_;
    std::string first_problem_;
    std::string* previous_text_;
    std::string* previous_problem_;
};

// While an object of this class lives, the first problem that its thread reports
// (report_problem(), or one passed on with report_text()) is kept: the driver asks it
// of an input that gave no POI.
class problem_watch {
  public:
    problem_watch();
    ~problem_watch();
    problem_watch(const problem_watch&) = delete;
    problem_watch& operator=(const problem_watch&) = delete;

    // Without its leading line break; empty when none was reported.
    [[nodiscard]] const std::string& first() const { return first_; }

  private:
    std::string first_;
    std::string* previous_;
};

}  // namespace velmora
