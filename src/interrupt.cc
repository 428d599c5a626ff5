#include "interrupt.h"

#include <csignal>

#include "composite_report.h"
#include "console.h"

namespace {

void on_interrupt(int signal_number) {
  restore_terminal_after_signal();
  discard_temporary_composite();
  console_flush_after_signal();
  // End the way the signal would have ended us, so the shell sees it.
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGHUP);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal_number, &action, nullptr);
  }
}
