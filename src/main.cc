#include "console.h"
#include "interrupt.h"
#include "tavrelle.h"

int main() {
  install_interrupt_handlers();
  const int status = run_program();
  console_flush();
  return status;
}
