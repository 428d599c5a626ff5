#include "tavrelle.h"

#include <string_view>

#include "composite_report.h"
#include "console.h"
#include "history_reader.h"
#include "history_table.h"
#include "number_format.h"
#include "number_text.h"
#include "trial_search.h"

namespace {

void print_banner() {
  console_write("\n tavrelle   version 1.2   March 10, 2006\n");
  console_write(" Written and maintained by the tavrelle developers\n");
  console_write("\n This program adds shock time histories to form a composite ");
  console_write("\n time history. The time histories are inverted and shifted ");
  console_write("\n as necessary to maximize the RMS value. \n");
  console_write("\n The names of the individual files must be in a file called: \n files.in. \n");
  console_write("\n Each time history must have the same sample rate.   ");
  console_write("\n Synchronization is not required, however.         \n");
}

void print_sample_step(double step) {
  char number[number_field_capacity];
  console_write("\n dt=");
  console_write(std::string_view(number, format_g(number, step, 8, 4)));
  console_write(" \n");
}

// Every answer is read where the previous one stopped; an answer that cannot
// be read keeps its 0, and nothing is checked or echoed.
void read_answers() {
  stdin_source& in = standard_input();
  console_write("\n Enter maximum time shift \n");
  read_number(in, answers.max_time_shift);
  console_write("\n Enter number of trials \n");
  read_integer(in, answers.trial_count);
  console_write("\n Allow inversion? ");
  console_write("\n 1=yes 2=no \n");
  read_integer(in, answers.inversion_choice);
}

}  // namespace

int run_program() {
  print_banner();
  clear_histories();
  if (load_histories() == load_result::failed) return 1;
  print_sample_step(compute_sample_step());
  read_answers();
  run_trials();
  console_write("\n The output time history is: ");
  console_write(output_name);
  console_write(" \n");
  console_write("\n\n Calculation complete. \n Press any key to exit.");
  return wait_for_key();
}
