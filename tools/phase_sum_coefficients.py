#!/usr/bin/env python3
"""Coefficients of the sine and cosine polynomials of src/diffraction/phase_sum.cpp.

sin(pi v / 2) = v P(v^2) and cos(pi v / 2) = 1 + v^2 Q(v^2) for |v| <= 1/2 (a quarter turn
at most pi/4 either way). P and Q interpolate at the Chebyshev nodes of z = v^2 in [0, 1/4],
close to the polynomials of least largest error; all arithmetic in 50-digit decimals. Prints
the coefficients as C++ hexadecimal literals and the largest error of the rounded polynomials,
in exact arithmetic over 4001 points of [0, 1/2], before the rounding of the evaluation itself.
"""
import math
import sys
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 50


def pi():
    def arctan_inverse(n):
        x, total, term, k, sign = Decimal(n), Decimal(0), 1 / Decimal(n), 1, 1
        while term > Decimal(10) ** -48:
            total += sign * term / k
            term /= x * x
            k, sign = k + 2, -sign
        return total

    return 4 * (4 * arctan_inverse(5) - arctan_inverse(239))


PI = pi()


def series(x, odd):
    """sin(x) (odd) or cos(x) by Taylor series."""
    total, term, k = Decimal(0), x if odd else Decimal(1), 1 if odd else 0
    while abs(term) > Decimal(10) ** -45:
        total += term
        term = -term * x * x / ((k + 1) * (k + 2))
        k += 2
    return total


def sine_quotient(z):  # sin(pi sqrt(z) / 2) / sqrt(z)
    if z == 0:
        return PI / 2
    root = z.sqrt()
    return series(PI / 2 * root, True) / root


def cosine_quotient(z):  # (cos(pi sqrt(z) / 2) - 1) / z
    if z == 0:
        return -(PI / 2) ** 2 / 2
    return (series(PI / 2 * z.sqrt(), False) - 1) / z


def interpolate(function, count):
    nodes = [Decimal(1) / 8 * (1 - Decimal(math.cos((2 * i + 1) * math.pi / (2 * count))))
             for i in range(count)]
    rows = [[Fraction(node) ** j for j in range(count)] + [Fraction(function(node))]
            for node in nodes]
    for i in range(count):  # Gaussian elimination in exact rationals
        pivot = max(range(i, count), key=lambda r: abs(rows[r][i]))
        rows[i], rows[pivot] = rows[pivot], rows[i]
        for r in range(count):
            if r != i:
                factor = rows[r][i] / rows[i][i]
                rows[r] = [a - factor * b for a, b in zip(rows[r], rows[i])]
    return [float(rows[i][count] / rows[i][i]) for i in range(count)]


def main():
    sine_count, cosine_count = (int(a) for a in sys.argv[1:3]) if len(sys.argv) > 2 else (7, 7)
    sine = interpolate(sine_quotient, sine_count)
    cosine = interpolate(cosine_quotient, cosine_count)
    # Errors of the functions themselves: v P(z) against sin, 1 + z Q(z) against cos.
    worst_sine = worst_cosine = Fraction(0)
    for i in range(4001):
        v = Fraction(i, 8000)
        z = v * v
        p = Fraction(0)
        for c in reversed(sine):
            p = p * z + Fraction(c)
        q = Fraction(0)
        for c in reversed(cosine):
            q = q * z + Fraction(c)
        angle = PI / 2 * Decimal(v.numerator) / Decimal(v.denominator)
        worst_sine = max(worst_sine, abs(v * p - Fraction(series(angle, True))))
        worst_cosine = max(worst_cosine, abs(1 + z * q - Fraction(series(angle, False))))
    for name, values in (("kSine", sine), ("kCosine", cosine)):
        print(f"constexpr double {name}[] = {{" + ", ".join(v.hex() for v in values) + "};")
    print(f"largest error: sine {float(worst_sine):.3g}, cosine {float(worst_cosine):.3g}")


if __name__ == "__main__":
    main()
