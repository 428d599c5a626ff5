// What every new best trial leaves: its report on the console and the
// composite file, replaced whole so that it never holds a damaged result.
#pragma once

#include <cstdint>

/// The file that holds the best composite, in the working directory.
inline constexpr char output_name[] = "composite.out";

/// Prints trial k, best_rms and the sign and shift of every history.
void report_best(std::int32_t k);

/// Writes composite_buffer as the new "composite.out"; on failure prints
/// " Failed to write file: composite.out " and leaves the earlier file as it was.
bool write_composite_file();

/// Formats one line of the composite file (" %10.5e  %10.5e \n", CR LF) into
/// out and returns its length.
std::size_t format_composite_line(char* out, double time, double amplitude);

/// Removes a half-written composite file, from a signal handler.
void discard_temporary_composite();
