// Running the real tool binary in a scratch directory, and the texts of the
// dialogue it is expected to print.
#pragma once

#include <string>
#include <string_view>

/// A directory of its own for one run, removed with everything in it.
struct scratch_dir {
  std::string path;  ///< absolute path of the directory

  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  /// Writes a file in the directory.
  void write(const std::string& name, std::string_view bytes) const;
  /// The bytes of a file in the directory ("" when it is missing).
  std::string read(const std::string& name) const;
  /// Whether a file of that name exists in the directory.
  bool exists(const std::string& name) const;
  /// The names in the directory, sorted.
  std::string listing() const;
};

/// What one run of the binary left.
struct tool_run {
  std::string output;  ///< everything it wrote to standard output
  int status = -1;     ///< exit status, or 128 + the signal that ended it
};

/// Limits and faults imposed on a run.
struct run_options {
  long file_size_limit = -1;    ///< RLIMIT_FSIZE in bytes, or -1 for none
  bool ignore_sigxfsz = false;  ///< run with SIGXFSZ ignored
  bool unprivileged = false;    ///< drop root to the user nobody before the run
  int signal_when_file = 0;     ///< signal sent once "composite.out" exists, or 0
};

/// Runs the tool in dir with input on standard input and no terminal.
tool_run run_tool(const scratch_dir& dir, std::string_view input, run_options options = {});

/// What a run at a terminal left, and the terminal's mode around it.
struct terminal_run {
  std::string screen;             ///< everything the terminal showed, echo included
  int status = -1;                ///< exit status, or 128 + the signal that ended it
  bool mode_kept = false;         ///< the terminal's mode after the run equals the mode before
  bool raw_mode_seen = false;     ///< the terminal was seen in raw mode during the wait
};

/// Runs the tool in dir on a pseudo-terminal that is both its standard input
/// and output: types typed_ahead at once, then key once the key wait has put
/// the terminal into raw mode (or, when signal_number is set, sends that
/// signal instead of a key).
terminal_run run_tool_at_terminal(const scratch_dir& dir, std::string_view typed_ahead,
                                  std::string_view key, int signal_number = 0);

/// Runs the tool as a user that may not write to dir (when the tests run as
/// root, the user nobody), with input on standard input.
tool_run run_tool_unprivileged(const scratch_dir& dir, std::string_view input);

/// Starts the tool in dir with input, waits until "composite.out" appears in
/// dir, sends signal_number and returns what the run left.
tool_run run_tool_until_file_then_signal(const scratch_dir& dir, std::string_view input,
                                         int signal_number);

/// The text with every "\n" turned into CR LF, as the tool writes it.
std::string crlf(std::string_view text);

/// The banner and the first loading line, with CR LF line ends.
std::string banner_text();

/// The banner and the loading messages of a list that opens.
std::string opening_text();

/// The sample step line and the three questions, dt already formatted.
std::string questions_text(std::string_view dt);

/// The closing lines after the search.
std::string closing_text();

/// The whole output of a run that loads, asks its questions (dt already
/// formatted), prints report and closes.
std::string completed_text(std::string_view dt, std::string_view report = "");
