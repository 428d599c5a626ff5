// What an interrupting signal (SIGINT, SIGTERM, SIGHUP) must undo before the
// process ends: the terminal mode, a half-written result file, pending output.
#pragma once

/// Installs the handlers once, at the start of the run.
void install_interrupt_handlers();
