// One run of the tool, from the banner to the final key.
#pragma once

/// Runs the banner, loading, the three questions, the search and the closing
/// key wait once; returns the exit status (1 after a loading failure, else the
/// code of the key pressed, or -1 without a terminal).
int run_program();
