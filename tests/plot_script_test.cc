// scripts/plot-composite: the picture of a composite that the real tool wrote,
// and what the script says on a machine without gnuplot.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run_support.h"

namespace {

const std::string script = std::string(TAVRELLE_SOURCE_DIR) + "/scripts/plot-composite";

// The eight bytes every PNG file begins with.
const std::string png_signature("\x89PNG\r\n\x1a\n", 8);

// Text quoted for /bin/sh.
std::string shell_quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Runs a shell command and gives its exit status (128 + the signal that ended it).
int shell_status(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

bool gnuplot_present() { return shell_status("command -v gnuplot >/dev/null 2>&1") == 0; }

// Runs a command line in dir; its standard output and error are left in dir
// as "script.stdout" and "script.stderr".
int run_in(const scratch_dir& dir, const std::string& command) {
  return shell_status("cd " + shell_quoted(dir.path) + " && " + command +
                      " >script.stdout 2>script.stderr </dev/null");
}

// Runs the script in dir with the arguments, already quoted.
int run_script(const scratch_dir& dir, const std::string& arguments) {
  return run_in(dir, shell_quoted(script) + " " + arguments);
}

// One damped sine, 300 samples a millisecond apart, as (time, amplitude) lines.
std::string damped_sine() {
  std::string text;
  for (int j = 0; j < 300; ++j) {
    const double t = j * 0.001;
    char line[64];
    const double amplitude = 5.0 * std::exp(-t / 0.08) * std::sin(120.0 * t);
    std::snprintf(line, sizeof line, "%.6e %.6e\n", t, amplitude);
    text += line;
  }
  return text;
}

TEST(plot_script, draws_the_composite_the_tool_wrote) {
  if (!gnuplot_present()) {
    GTEST_SKIP() << "gnuplot is not installed (apt-get install gnuplot-nox); "
                    "the picture cannot be drawn here";
  }
  scratch_dir dir;
  dir.write("files.in", "a.txt b.txt\n");
  dir.write("a.txt", damped_sine());
  dir.write("b.txt", damped_sine());
  const tool_run run = run_tool(dir, "0.01 20 1\n");
  ASSERT_EQ(run.status, 255) << run.output;
  const std::string composite = dir.read("composite.out");
  ASSERT_NE(composite.find(" \r\n"), std::string::npos) << "composite.out has CR LF line ends";

  // No arguments: composite.out in, composite.png out.
  EXPECT_EQ(run_script(dir, ""), 0) << dir.read("script.stderr");
  const std::string picture = dir.read("composite.png");
  EXPECT_EQ(picture.substr(0, 8), png_signature);
  EXPECT_GT(picture.size(), 1000u) << "a picture with a drawn curve, not an empty file";

  // Both names given, one with a blank and a quote in it.
  dir.write("copy of it.out", composite);
  const std::string names = shell_quoted("copy of it.out") + " " + shell_quoted("it's drawn.png");
  EXPECT_EQ(run_script(dir, names), 0) << dir.read("script.stderr");
  EXPECT_EQ(dir.read("it's drawn.png").substr(0, 8), png_signature);

  // A composite that is missing leaves no picture and fails.
  EXPECT_NE(run_script(dir, "missing.out never.png"), 0);
  EXPECT_FALSE(dir.exists("never.png"));
  EXPECT_NE(dir.read("script.stderr").find("missing.out"), std::string::npos);
}

TEST(plot_script, tells_how_to_install_gnuplot_when_it_is_missing) {
  scratch_dir dir;
  scratch_dir empty_path;
  dir.write("composite.out", " 0.00000e+000  1.00000e+000 \r\n 1.00000e-003  2.00000e+000 \r\n");
  // bash itself is named by its path; nothing else can be found.
  const int status = run_in(dir, "PATH=" + shell_quoted(empty_path.path) + " /bin/bash " +
                                    shell_quoted(script) + " composite.out out.png");
  EXPECT_NE(status, 0);
  EXPECT_NE(dir.read("script.stderr").find("apt-get install gnuplot-nox"), std::string::npos)
      << dir.read("script.stderr");
  EXPECT_FALSE(dir.exists("out.png"));
}

}  // namespace
