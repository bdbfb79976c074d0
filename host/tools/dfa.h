// Detrended fluctuation analysis of a series: the exponent alpha of how the
// fluctuation F(s) of its running sum, each window of s values detrended by
// a straight line, grows with s (F ~ s^alpha), over windows of 8 values to
// an eighth of the series. White noise gives 0.5; noise with a spectrum
// falling as 1/f gives 1. Header-only, for the benchmark and the tests.
#ifndef GROOBLE_DFA_H
#define GROOBLE_DFA_H

#include <cmath>
#include <vector>

inline double DfaExponent(const std::vector<double>& x)
{
    const std::size_t n = x.size();
    if (n < 64)
        return NAN;
    double mean = 0;
    for (double v : x)
        mean += v / static_cast<double>(n);
    std::vector<double> profile(n);
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        profile[i] = sum += x[i] - mean;
    std::vector<double> logS, logF;
    std::size_t last = 0;
    for (int step = 0; step < 16; ++step) {
        const std::size_t s = static_cast<std::size_t>(8.0 * std::pow(n / 64.0, step / 15.0));
        if (s == last || s < 8)
            continue;
        last = s;
        const std::size_t windows = n / s;
        double squares = 0;
        for (std::size_t w = 0; w < windows; ++w) {
            const double* y = &profile[w * s];
            double st = 0, sy = 0, stt = 0, sty = 0;
            for (std::size_t t = 0; t < s; ++t) {
                st += t;
                sy += y[t];
                stt += double(t) * t;
                sty += t * y[t];
            }
            const double slope = (s * sty - st * sy) / (s * stt - st * st);
            const double offset = (sy - slope * st) / s;
            for (std::size_t t = 0; t < s; ++t) {
                const double r = y[t] - offset - slope * t;
                squares += r * r;
            }
        }
        logS.push_back(std::log(double(s)));
        logF.push_back(0.5 * std::log(squares / (windows * s)));
    }
    const double k = static_cast<double>(logS.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < logS.size(); ++i) {
        sx += logS[i];
        sy += logF[i];
        sxx += logS[i] * logS[i];
        sxy += logS[i] * logF[i];
    }
    return (k * sxy - sx * sy) / (k * sxx - sx * sx);
}

#endif
