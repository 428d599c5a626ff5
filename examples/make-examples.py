#!/usr/bin/env python3
"""Writes the example shock histories and their files.in.

Three synthetic records at one sample rate, each a few hundred samples of
(time, amplitude) text: a damped sine burst, a half-sine pulse with ringing,
and a decaying two-tone response.  Run it from this folder; it rewrites the
files deterministically.
"""
import math

STEP = 0.0005  # seconds per sample


def write(name, samples, start_time=0.0):
    with open(name, "w", newline="\n") as out:
        for j, value in enumerate(samples):
            out.write("%.6e  %.6e\n" % (start_time + j * STEP, value))


def damped_burst(count):
    return [12.0 * math.exp(-t / 0.04) * math.sin(2 * math.pi * 85.0 * t)
            for t in (j * STEP for j in range(count))]


def half_sine_ringing(count):
    pulse = 0.011
    out = []
    for j in range(count):
        t = j * STEP
        if t < pulse:
            out.append(20.0 * math.sin(math.pi * t / pulse))
        else:
            out.append(-3.5 * math.exp(-(t - pulse) / 0.03) * math.sin(2 * math.pi * 140.0 * (t - pulse)))
    return out


def two_tone(count):
    return [math.exp(-t / 0.06) * (7.0 * math.sin(2 * math.pi * 60.0 * t + 0.4)
                                    + 4.0 * math.sin(2 * math.pi * 230.0 * t))
            for t in (j * STEP for j in range(count))]


def main():
    write("burst.txt", damped_burst(400))
    write("halfsine.txt", half_sine_ringing(360), start_time=0.25)
    write("twotone.txt", two_tone(420))
    with open("files.in", "w", newline="\n") as out:
        out.write("burst.txt\nhalfsine.txt\ntwotone.txt\n")


if __name__ == "__main__":
    main()
