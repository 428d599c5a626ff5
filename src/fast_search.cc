#include "fast_search.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// Why the batched evaluation gives the plain loop's bits:
// - Every sample's value is still (... ((+0.0 + a_0 s_0) + a_1 s_1) ...) over the
//   histories in their order; only many samples (vector lanes) and many trials
//   are worked at once. The sum of squares of each trial is still added sample
//   by sample in order: a tile of trials x samples is transposed so that the
//   lanes hold trials and each lane's sum takes the samples one by one.
// - a * (+-1.0) is a with its sign bit replaced by the product's sign: an XOR.
// - value starts at +0.0 and +0.0 + (+-0.0) is +0.0, while x + (+-0.0) is x for
//   every other x; so a history whose window of a block lies wholly outside the
//   row's data [0, filled) adds nothing and is left out of that block.
// - A window that does overlap the data starts after slot -sample_pad and ends
//   before slot sample_capacity + sample_pad, since a block has at most
//   sample_pad samples: it is read whole from the zero-padded row.
// Only NaN results may differ, in the sign or payload of the NaN; a NaN RMS is
// never greater than best_rms, so it can never be reported.
//
// What bounds the speed on a machine like the one this was measured on is not
// the arithmetic but moving the samples: every trial reads all of its 7.8
// million samples from the second-level cache, most loads straddling two cache
// lines because shifts are arbitrary. Wider vectors gain little; what pays is
// sharing each block of samples among many trials while it is in that cache.

namespace {

// Samples of one block. At most sample_pad, so that every window read stays
// in its padded row, and a multiple of every path's tile. A block's windows
// of 39 histories, spread over 1,000 samples of shift, take about 630 kB:
// they stay in the core's 1 MB second-level cache while the trials pass.
constexpr int block_samples = 1024;
static_assert(block_samples <= sample_pad);

// One history's part in one trial over one block: the address of the row's
// slot for the block's first sample, with bit 0 set when the history is
// inverted (a double's address is even). One scalar load per history and tile
// is all the loop needs beside the samples themselves.
using block_source = std::uintptr_t;

template <int W>
struct lanes;
template <>
struct lanes<2> {
  typedef double real __attribute__((vector_size(16)));
  typedef std::int64_t bits __attribute__((vector_size(16)));
};
template <>
struct lanes<4> {
  typedef double real __attribute__((vector_size(32)));
  typedef std::int64_t bits __attribute__((vector_size(32)));
};
template <>
struct lanes<8> {
  typedef double real __attribute__((vector_size(64)));
  typedef std::int64_t bits __attribute__((vector_size(64)));
};

template <int W>
[[gnu::always_inline]] inline void load_lanes(typename lanes<W>::real& v, const double* p) {
  __builtin_memcpy(&v, p, sizeof v);
}

template <int W>
[[gnu::always_inline]] inline void store_lanes(double* p, const typename lanes<W>::real& v) {
  __builtin_memcpy(p, &v, sizeof v);
}

// Turns W rows of W samples (one row per trial) into W columns of W trials.
[[gnu::always_inline]] inline void transpose(const lanes<2>::real (&r)[2], lanes<2>::real (&c)[2]) {
  c[0] = __builtin_shufflevector(r[0], r[1], 0, 2);
  c[1] = __builtin_shufflevector(r[0], r[1], 1, 3);
}

[[gnu::always_inline]] inline void transpose(const lanes<4>::real (&r)[4], lanes<4>::real (&c)[4]) {
  const lanes<4>::real t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 2, 6);
  const lanes<4>::real t1 = __builtin_shufflevector(r[0], r[1], 1, 5, 3, 7);
  const lanes<4>::real t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 2, 6);
  const lanes<4>::real t3 = __builtin_shufflevector(r[2], r[3], 1, 5, 3, 7);
  c[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  c[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  c[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  c[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

[[gnu::always_inline]] inline void transpose(const lanes<8>::real (&r)[8], lanes<8>::real (&c)[8]) {
  using v = lanes<8>::real;
  v u[8];
  for (int k = 0; k < 4; ++k) {
    u[2 * k] = __builtin_shufflevector(r[2 * k], r[2 * k + 1], 0, 8, 2, 10, 4, 12, 6, 14);
    u[2 * k + 1] = __builtin_shufflevector(r[2 * k], r[2 * k + 1], 1, 9, 3, 11, 5, 13, 7, 15);
  }
  v t[8];
  for (int k = 0; k < 2; ++k) {
    const int b = 4 * k;
    t[b + 0] = __builtin_shufflevector(u[b + 0], u[b + 2], 0, 1, 8, 9, 4, 5, 12, 13);
    t[b + 2] = __builtin_shufflevector(u[b + 0], u[b + 2], 2, 3, 10, 11, 6, 7, 14, 15);
    t[b + 1] = __builtin_shufflevector(u[b + 1], u[b + 3], 0, 1, 8, 9, 4, 5, 12, 13);
    t[b + 3] = __builtin_shufflevector(u[b + 1], u[b + 3], 2, 3, 10, 11, 6, 7, 14, 15);
  }
  for (int k = 0; k < 4; ++k) {
    c[k] = __builtin_shufflevector(t[k], t[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
    c[k + 4] = __builtin_shufflevector(t[k], t[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
  }
}

// The slot of a listed history's row where its window of the block, moved
// `offset` samples on, begins.
[[gnu::always_inline]] inline const double* window_start(block_source source, int offset) {
  return reinterpret_cast<const double*>(source & ~std::uintptr_t{1}) + offset;
}

// With fetch_ahead > 0, asks for the `slots` samples of the tile of the
// history that many places further down the list: the tiles of one trial lie
// scattered over the second-level cache, too short a run each for the
// hardware to fetch ahead.
template <int slots, int fetch_ahead>
[[gnu::always_inline]] inline void fetch_tile_ahead(const block_source* list,
                                                    const block_source* end, int offset) {
  if constexpr (fetch_ahead > 0) {
    if (end - list > fetch_ahead) {
      const double* next = window_start(list[fetch_ahead], offset);
      // One more line than the tile spans: its start is seldom line-aligned.
#pragma GCC unroll 32
      for (int slot = 0; slot <= slots; slot += 8) __builtin_prefetch(next + slot, 0, 3);
    }
  }
}

// One trial's values at the W * A samples of a tile that starts `offset`
// samples into the block: the listed histories added in order to +0.0,
// fetching the tile fetch_ahead histories on meanwhile.
template <int W, int A, int fetch_ahead>
[[gnu::always_inline]] inline void tile_values(const block_source* list, const block_source* end,
                                               int offset, double* to) {
  using real = typename lanes<W>::real;
  using bits = typename lanes<W>::bits;
  real value[A];
#pragma GCC unroll 16
  for (int a = 0; a < A; ++a) value[a] = real{};
  for (; list != end; ++list) {
    const std::uintptr_t source = *list;
    const double* p = window_start(source, offset);
    fetch_tile_ahead<A * W, fetch_ahead>(list, end, offset);
    const bits sign = bits{} + static_cast<std::int64_t>(source << 63);
#pragma GCC unroll 16
    for (int a = 0; a < A; ++a) {
      real x;
      load_lanes<W>(x, p + a * W);
      value[a] = (real)((bits)x ^ sign) + value[a];
    }
  }
#pragma GCC unroll 16
  for (int a = 0; a < A; ++a) store_lanes<W>(to + a * W, value[a]);
}

#if defined(__x86_64__) || defined(__i386__)
// The AVX-512 path's tile_values. A shifted window seldom starts on a cache
// line, and a 64-byte load that straddles two lines costs about twice one
// that does not; sums from such loads alone ran out of load bandwidth here,
// sums from aligned loads turned by a lane permute alone ran out of vector
// units. So the first `straddling` vectors of each window are loaded as they
// lie, and the rest from the aligned lines that hold them: each line is
// permuted once, lane l taking slot (l + r) mod 8, where r is the window's
// slot within its line, and a vector is the blend of two neighbouring
// permuted lines. Every sample gets the very value the plain load would
// give, so the sums are unchanged. The aligned reads end at most one line
// past the window, inside the row's zero pad.
template <int A, int straddling, int fetch_ahead>
__attribute__((target("avx512f"), noinline)) void tile_values_avx512(
    const block_source* list, const block_source* end, int offset, double* to) {
  static_assert(straddling >= 0 && straddling < A);
  __m512d value[A];
#pragma GCC unroll 32
  for (int a = 0; a < A; ++a) value[a] = _mm512_setzero_pd();
  const __m512i lane = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i seven = _mm512_set1_epi64(7);
  for (; list != end; ++list) {
    const std::uintptr_t source = *list;
    const double* p = window_start(source, offset);
    fetch_tile_ahead<A * 8, fetch_ahead>(list, end, offset);
    const __m512i sign = _mm512_set1_epi64(static_cast<long long>(source << 63));
#pragma GCC unroll 32
    for (int a = 0; a < straddling; ++a) {
      const __m512i x = _mm512_castpd_si512(_mm512_loadu_pd(p + a * 8));
      value[a] = _mm512_add_pd(_mm512_castsi512_pd(_mm512_xor_si512(x, sign)), value[a]);
    }
    const int r = static_cast<int>((reinterpret_cast<std::uintptr_t>(p) / sizeof(double)) & 7);
    const double* line = p - r + straddling * 8;
    const __m512i turn = _mm512_and_si512(_mm512_add_epi64(lane, _mm512_set1_epi64(r)), seven);
    // Lanes 8 - r ... 7 come from the following line.
    const __mmask8 from_next = static_cast<__mmask8>(0xff00u >> r);
    __m512d low = _mm512_maskz_permutexvar_pd(0xff, turn, _mm512_load_pd(line));
#pragma GCC unroll 32
    for (int a = straddling; a < A; ++a) {
      line += 8;
      const __m512d high = _mm512_maskz_permutexvar_pd(0xff, turn, _mm512_load_pd(line));
      const __m512i x = _mm512_castpd_si512(_mm512_mask_blend_pd(from_next, low, high));
      value[a] = _mm512_add_pd(_mm512_castsi512_pd(_mm512_xor_si512(x, sign)), value[a]);
      low = high;
    }
  }
#pragma GCC unroll 32
  for (int a = 0; a < A; ++a) _mm512_storeu_pd(to + a * 8, value[a]);
}
#endif

// Adds the squares of the first `samples` values of W trials' tiles (row w at
// values + w * stride) to their sums, one sample after another; lane w of sum
// is trial w's sum.
template <int W, int A>
[[gnu::always_inline]] inline void add_squares(const double* values, int stride, int samples,
                                               typename lanes<W>::real& sum) {
  using real = typename lanes<W>::real;
#pragma GCC unroll 16
  for (int c = 0; c < A; ++c) {
    const int left = samples - c * W;
    if (left <= 0) break;
    real row[W];
    real column[W];
#pragma GCC unroll 8
    for (int w = 0; w < W; ++w) load_lanes<W>(row[w], values + w * stride + c * W);
    transpose(row, column);
    if (left >= W) {
#pragma GCC unroll 8
      for (int s = 0; s < W; ++s) sum = column[s] * column[s] + sum;
    } else {
      for (int s = 0; s < left; ++s) sum = column[s] * column[s] + sum;
    }
  }
}

// What one thread keeps while it evaluates its slice of a batch.
struct slice_scratch {
  block_source list[batch_capacity][history_capacity];  // each trial's histories in the block
  int listed[batch_capacity];                            // how many of them take part
  std::int64_t highest_shift[history_capacity];          // per history, over the slice's trials
};

// The next block's leading edge, asked for from memory a few lines at a time
// while the present block is summed: for every row, the block's slots moved
// by the row's largest shift. The rest of the next block's windows is part of
// the present block's already. The hardware cannot follow the hundreds of
// streams that the trials' windows make.
struct edge_fetch {
  const std::int64_t* highest_shift;
  int rows;
  int row;
  std::int64_t slot;
  std::int64_t end;
  std::int64_t first;
};

// Moves to the next row with something to fetch, or past the last row.
void open_row(edge_fetch& f) {
  for (; f.row < f.rows; ++f.row) {
    f.slot = std::max<std::int64_t>(0, f.first + f.highest_shift[f.row]);
    f.end = std::min<std::int64_t>(history_table.filled[f.row],
                                   f.first + block_samples + f.highest_shift[f.row]);
    if (f.slot < f.end) return;
  }
}

void start_fetch(edge_fetch& f, const std::int64_t* highest_shift, int rows, std::int64_t first) {
  f = {highest_shift, rows, 0, 0, 0, first};
  open_row(f);
}

[[gnu::always_inline]] inline void fetch_lines(edge_fetch& f, int lines) {
  constexpr int line_slots = 64 / sizeof(double);
  for (; lines > 0 && f.row < f.rows; --lines) {
    __builtin_prefetch(amplitude_row(f.row) + f.slot, 0, 3);
    f.slot += line_slots;
    if (f.slot >= f.end) {
      ++f.row;
      open_row(f);
    }
  }
}

// Notes, per history, the largest shift among trials [trial_begin, trial_end)
// of the batch: how far ahead of a block the next one's windows reach.
void note_highest_shifts(const trial_batch& batch, int trial_begin, int trial_end,
                         slice_scratch& scratch) {
  const int planned_end = std::min(trial_end, batch.size);
  for (int i = 0; i < history_table.history_count; ++i) {
    std::int64_t highest = std::numeric_limits<std::int32_t>::min();
    for (int t = trial_begin; t < planned_end; ++t) {
      highest = std::max<std::int64_t>(highest, batch.plan[t][i].shift);
    }
    scratch.highest_shift[i] = highest;
  }
}

// Evaluates the block of samples that starts at `first` for trials
// [trial_begin, trial_end) of the batch, whole groups of W: each trial's sum
// of squares in sums[t] takes the block's samples. scratch.highest_shift must
// hold the largest shifts of these trials.
//
// Every group of W trials sums its tiles and adds their squares while the
// block's windows of all histories sit in the core's cache, so that they are
// read from memory once and then shared by all the trials.
template <int W, int A, int fetch_ahead>
[[gnu::always_inline]] inline void evaluate_block(const trial_batch& batch, int trial_begin,
                                                  int trial_end, std::int32_t first,
                                                  slice_scratch& scratch, double* sums) {
  using real = typename lanes<W>::real;
  constexpr int tile = W * A;
  static_assert(block_samples % tile == 0);
  const int count = history_table.history_count;
  const std::int32_t length = history_table.composite_length;
  const int planned_end = std::min(trial_end, batch.size);
  alignas(64) double values[W][tile];

  const int span = std::min(block_samples, length - first);
  const int tiles = (span + tile - 1) / tile;
  bool any = false;
  for (int t = trial_begin; t < trial_end; ++t) {
    block_source* list = scratch.list[t - trial_begin];
    int listed = 0;
    for (int i = 0; t < planned_end && i < count; ++i) {
      const trial_entry& entry = batch.plan[t][i];
      const std::int64_t start = std::int64_t{first} + entry.shift;
      if (start >= history_table.filled[i] || start + span <= 0) continue;
      const std::uintptr_t inverted = std::signbit(entry.sign) ? 1 : 0;
      list[listed++] = reinterpret_cast<std::uintptr_t>(amplitude_row(i) + start) | inverted;
    }
    scratch.listed[t - trial_begin] = listed;
    any = any || listed > 0;
  }
  // Nothing but zeros for all these trials: every sum stays as it is.
  if (!any) return;
  const int groups = (trial_end - trial_begin) / W;
  edge_fetch ahead;
  start_fetch(ahead, scratch.highest_shift, count, std::int64_t{first} + block_samples);
  const int lines_per_tile = count * (block_samples / 8) / (groups * tiles) + 1;
  for (int g = 0; g < groups; ++g) {
    const int base = g * W;
    real sum;
    load_lanes<W>(sum, sums + trial_begin + base);
    for (int k = 0; k < tiles; ++k) {
      const int offset = k * tile;
      for (int w = 0; w < W; ++w) {
        const block_source* list = scratch.list[base + w];
#if defined(__x86_64__) || defined(__i386__)
        if constexpr (W == 8) {
          tile_values_avx512<A, A / 2, fetch_ahead>(list, list + scratch.listed[base + w], offset,
                                                    values[w]);
        } else
#endif
        {
          tile_values<W, A, fetch_ahead>(list, list + scratch.listed[base + w], offset, values[w]);
        }
      }
      add_squares<W, A>(&values[0][0], tile, std::min(tile, span - offset), sum);
      fetch_lines(ahead, lines_per_tile);
    }
    store_lanes<W>(sums + trial_begin + base, sum);
  }
}

// Evaluates one block for trials [trial_begin, trial_end) with one path's vector width.
using block_function = void (*)(const trial_batch&, int, int, std::int32_t, slice_scratch&,
                                double*);

void block_portable(const trial_batch& batch, int trial_begin, int trial_end, std::int32_t first,
                    slice_scratch& scratch, double* sums) {
  evaluate_block<2, 8, 0>(batch, trial_begin, trial_end, first, scratch, sums);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void block_avx2(const trial_batch& batch, int trial_begin,
                                                int trial_end, std::int32_t first,
                                                slice_scratch& scratch, double* sums) {
  evaluate_block<4, 8, 0>(batch, trial_begin, trial_end, first, scratch, sums);
}

__attribute__((target("avx512f"))) void block_avx512(const trial_batch& batch, int trial_begin,
                                                     int trial_end, std::int32_t first,
                                                     slice_scratch& scratch, double* sums) {
  // Its tiles are 16 lines long: fetching three histories ahead measured
  // about 15% faster here; for the shorter tiles of the other paths it
  // measured slower.
  evaluate_block<8, 16, 3>(batch, trial_begin, trial_end, first, scratch, sums);
}
#endif

int lanes_of(search_path path) {
  switch (path) {
    case search_path::avx512: return 8;
    case search_path::avx2: return 4;
    case search_path::portable: break;
  }
  return 2;
}

block_function function_of(search_path path) {
#if defined(__x86_64__) || defined(__i386__)
  if (path == search_path::avx512) return block_avx512;
  if (path == search_path::avx2) return block_avx2;
#else
  (void)path;
#endif
  return block_portable;
}

search_path fastest_path() {
  if (search_path_available(search_path::avx512)) return search_path::avx512;
  if (search_path_available(search_path::avx2)) return search_path::avx2;
  return search_path::portable;
}

int hardware_threads() {
  const unsigned n = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(n), 1, max_search_threads);
}

search_path chosen_path = fastest_path();
int chosen_threads = hardware_threads();

// One batch's work, shared with the helper threads.
struct batch_job {
  const trial_batch* batch = nullptr;
  block_function evaluate = nullptr;
  int width = 0;   // trials per group
  int groups = 0;  // groups in the batch, the last one perhaps partly planned
  int slices = 0;  // threads that share the groups
};

alignas(64) double batch_sums[batch_capacity + 8];
slice_scratch scratch_of_slice[max_search_threads];

// How the threads share a batch's groups. Each starts with an even slice and
// works its groups block by block. The host may hold back either thread for
// a while, so a thread that runs out of groups does not sit idle until the
// other is done: at its next block boundary a thread with two groups or more
// hands the upper half of them, at the following block, to one that waits.
// Each trial's blocks are still summed in order, by one thread at a time,
// with the same operations, so who works which block changes no bit.
struct work_share {
  std::mutex mutex;
  std::condition_variable handed;  // work was handed over, or none is left
  int working = 0;                 // threads that hold groups
  std::atomic<int> waiting{0};     // threads that wait for groups
  struct run {
    bool waits = false;      // the thread waits for groups
    bool given = false;      // groups have been handed to it
    int begin = 0;           // its groups [begin, end)
    int end = 0;
    std::int32_t first = 0;  // and the block to start them at
  } of[max_search_threads];
};

work_share share;

// Gives the upper half of groups [begin, end), from block `next` on, to a
// waiting thread; returns the new end of the giver's groups.
int hand_over(int begin, int end, std::int32_t next) {
  const std::lock_guard<std::mutex> lock(share.mutex);
  for (auto& taker : share.of) {
    if (!taker.waits) continue;
    const int middle = begin + (end - begin + 1) / 2;
    taker = {false, true, middle, end, next};
    share.waiting.fetch_sub(1, std::memory_order_relaxed);
    ++share.working;
    share.handed.notify_all();
    return middle;
  }
  return end;
}

// Works slice `slice` of the job's groups on the calling thread, then any
// groups handed to it, until no thread has any left.
void run_slice(const batch_job& job, int slice) {
  const trial_batch& batch = *job.batch;
  const std::int32_t length = history_table.composite_length;
  slice_scratch& scratch = scratch_of_slice[slice];
  int begin = static_cast<int>(std::int64_t{job.groups} * slice / job.slices);
  int end = static_cast<int>(std::int64_t{job.groups} * (slice + 1) / job.slices);
  std::int32_t first = 0;
  for (;;) {
    note_highest_shifts(batch, begin * job.width, end * job.width, scratch);
    for (; first < length; first += block_samples) {
      job.evaluate(batch, begin * job.width, end * job.width, first, scratch, batch_sums);
      const std::int32_t next = first + block_samples;
      if (share.waiting.load(std::memory_order_relaxed) > 0 && end - begin >= 2 && next < length) {
        const int kept = hand_over(begin, end, next);
        if (kept != end) {
          end = kept;
          note_highest_shifts(batch, begin * job.width, end * job.width, scratch);
        }
      }
    }
    std::unique_lock<std::mutex> lock(share.mutex);
    work_share::run& mine = share.of[slice];
    --share.working;
    mine.waits = true;
    share.waiting.fetch_add(1, std::memory_order_relaxed);
    if (share.working == 0) share.handed.notify_all();
    share.handed.wait(lock, [&] { return mine.given || share.working == 0; });
    if (!mine.given) {
      mine.waits = false;
      share.waiting.fetch_sub(1, std::memory_order_relaxed);
      return;
    }
    mine.given = false;
    begin = mine.begin;
    end = mine.end;
    first = mine.first;
  }
}

// Makes every thread of the job start with its own slice.
void start_sharing(const batch_job& job) {
  const std::lock_guard<std::mutex> lock(share.mutex);
  share.working = job.slices;
  share.waiting.store(0, std::memory_order_relaxed);
  for (auto& run : share.of) run = {};
}

// The helper threads: started on first use, each waits for a new round, works
// its slice of the round's job and reports back; they end with the program.
struct helper_pool {
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable finished;
  std::uint64_t round = 0;
  int busy = 0;
  bool stopping = false;
  batch_job job;
  std::thread helper[max_search_threads - 1];
  int started = 0;

  ~helper_pool() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (int h = 0; h < started; ++h) helper[h].join();
  }
};

helper_pool pool;

void helper_main(int index) {
  std::uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(pool.mutex);
  for (;;) {
    pool.wake.wait(lock, [&] { return pool.stopping || pool.round != seen; });
    if (pool.stopping) return;
    seen = pool.round;
    // Slice 0 is the calling thread's; helper h takes slice h + 1.
    if (index + 1 >= pool.job.slices) continue;
    const batch_job job = pool.job;
    lock.unlock();
    run_slice(job, index + 1);
    lock.lock();
    if (--pool.busy == 0) pool.finished.notify_one();
  }
}

// Starts helpers until there are `needed`. They do not take the interrupting
// signals, so the handler always runs on the thread that writes the results.
void start_helpers(int needed) {
  if (pool.started >= needed) return;
  sigset_t blocked;
  sigset_t previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  while (pool.started < needed) {
    pool.helper[pool.started] = std::thread(helper_main, pool.started);
    ++pool.started;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

trial_batch search_batch;

}  // namespace

bool search_path_available(search_path path) {
#if defined(__x86_64__) || defined(__i386__)
  // Also called while static objects are made, perhaps before the
  // compiler's own start-up code has read the processor's features.
  __builtin_cpu_init();
  if (path == search_path::avx512) return __builtin_cpu_supports("avx512f");
  if (path == search_path::avx2) return __builtin_cpu_supports("avx2");
#else
  if (path != search_path::portable) return false;
#endif
  return true;
}

bool set_search_path(search_path path) {
  if (!search_path_available(path)) return false;
  chosen_path = path;
  return true;
}

search_path current_search_path() { return chosen_path; }

void set_search_threads(int count) { chosen_threads = std::clamp(count, 1, max_search_threads); }

int search_threads() { return chosen_threads; }

void evaluate_batch(trial_batch& batch) {
  const int width = lanes_of(chosen_path);
  batch_job job;
  job.batch = &batch;
  job.evaluate = function_of(chosen_path);
  job.width = width;
  job.groups = (batch.size + width - 1) / width;
  job.slices = std::max(1, std::min(chosen_threads, job.groups));
  std::fill(batch_sums, batch_sums + job.groups * width, 0.0);
  start_sharing(job);
  if (job.slices > 1) {
    start_helpers(job.slices - 1);
    {
      const std::lock_guard<std::mutex> lock(pool.mutex);
      pool.job = job;
      pool.busy = job.slices - 1;
      ++pool.round;
    }
    pool.wake.notify_all();
  }
  run_slice(job, 0);
  if (job.slices > 1) {
    std::unique_lock<std::mutex> lock(pool.mutex);
    pool.finished.wait(lock, [] { return pool.busy == 0; });
  }
  const std::int32_t length = history_table.composite_length;
  for (int t = 0; t < batch.size; ++t) batch.rms[t] = std::sqrt(batch_sums[t] / length);
}

int batch_size_for_table() {
  // One thread sums about 14 million history samples a millisecond here.
  // Each thread reads the whole table from memory once per batch and asks for
  // every line of it ahead, which costs about a tenth of the time of a batch
  // of 64 trials a thread at the largest table; twice as many trials halve
  // that share. A batch of about 100 ms still brings every report within a
  // fraction of a second of its trial.
  constexpr double samples_per_batch_and_thread = 100.0 * 14e6;
  const double per_trial = std::max(
      1.0, static_cast<double>(history_table.history_count) * history_table.composite_length);
  const int unit = 8 * chosen_threads;
  const double fitting = samples_per_batch_and_thread * chosen_threads / per_trial;
  const int size = static_cast<int>(std::min<double>(batch_capacity, fitting)) / unit * unit;
  return std::clamp(size, std::min(unit, batch_capacity), batch_capacity);
}

void run_search(best_handler on_best) {
  prepare_search();
  const int count = history_table.history_count;
  const int per_batch = batch_size_for_table();
  trial_batch& batch = search_batch;
  for (std::int64_t first = 0; first < answers.trial_count; first += per_batch) {
    batch.first_trial = static_cast<std::int32_t>(first);
    batch.size = static_cast<int>(std::min<std::int64_t>(per_batch, answers.trial_count - first));
    for (int t = 0; t < batch.size; ++t) {
      plan_trial(static_cast<std::int32_t>(first + t));
      std::copy(trial_plan, trial_plan + count, batch.plan[t]);
    }
    evaluate_batch(batch);
    for (int t = 0; t < batch.size; ++t) {
      if (!(batch.rms[t] > best_rms)) continue;
      best_rms = batch.rms[t];
      std::copy(batch.plan[t], batch.plan[t] + count, trial_plan);
      const double rebuilt = build_composite();
      on_best(static_cast<std::int32_t>(first + t), rebuilt);
    }
  }
}
