// Pieces shared by the tests that run random projects: a seeded stream of
// draws that makes the same project with every standard library, numbers as
// the project files print them, and the search for "nan" and "inf" in what a
// run wrote.
#pragma once

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace kesta_test {

// Draws from a standard engine, turned into numbers by hand so that a seed
// makes the same project with every standard library.
class draws {
public:
    explicit draws(std::uint64_t seed) : engine_(seed) {}
    double unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    double between(double lo, double hi) { return lo + (hi - lo) * unit(); }
    double log_between(double lo, double hi) { return lo * std::pow(hi / lo, unit()); }
    int whole(int lo, int hi) { return lo + static_cast<int>(unit() * (hi - lo + 1)) % (hi - lo + 1); }
    bool chance(double p) { return unit() < p; }

private:
    std::mt19937_64 engine_;
};

// `v` to three significant digits, as a user would write it.
inline double round3(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return std::atof(text);
}

inline std::string text_of(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// The first "nan" or "inf" that `text` prints as a word (not part of a
// name such as INF_REDIST), in any case; empty when there is none.
inline std::string non_number_in(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto letter = [&text](std::size_t at) {
        return at < text.size() && (std::isalpha(static_cast<unsigned char>(text[at])) || text[at] == '_');
    };
    for (const char* word : {"nan", "inf"})
        for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
            if ((at == 0 || !letter(at - 1)) && !letter(at + 3)) return word;
    return "";
}

// The value of environment variable `name` as a count, or `fallback`.
inline std::uint64_t env_or(const char* name, std::uint64_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

}  // namespace kesta_test
