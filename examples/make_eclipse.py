#!/usr/bin/env python3
"""Writes ECLIPSE.DAT: a synthetic primary eclipse with a known time of minimum.

320 observations at an uneven cadence over 0.25 days, a Gaussian dip of
0.82 mag (sigma 0.028 d) below 10.50 mag, 5 millimag of Gaussian noise; the
true time of minimum is JD 2459000.42731.
"""
import math
import random

rng = random.Random(1956)
true_minimum = 2459000.42731
t = 2459000.30
n = 320
lines = []
for k in range(n):
    t += 0.25 / n * (0.8 + 0.4 * rng.random())
    x = (t - true_minimum) / 0.028
    magnitude = 10.50 + 0.82 * math.exp(-0.5 * x * x) + rng.gauss(0, 0.005)
    lines.append('%.5f %.4f\n' % (t, magnitude))
with open('ECLIPSE.DAT', 'w') as f:
    f.write(''.join(lines))
