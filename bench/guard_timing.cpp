// Times the canonicalize guard against the chain it spares, natively, on the
// text in the file named by the first argument: `rounds` interleaved rounds,
// printing the best time of each in nanoseconds. Built and run by
// bench_presets.py against the static core library of a build.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "presets/guard.hpp"
#include "presets/presets.hpp"
#include "tables/confusables.hpp"

namespace {

template <class Fn>
double time_ns(Fn&& fn) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelrad;
    if (argc < 3) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int rounds = std::stoi(argv[2]);
    const auto& spec = presets::guard_spec(presets::Preset::Canonicalize);
    double guard = 1e300, chain = 1e300;
    std::string out;
    bool cleared = true, unchanged = true;
    for (int r = 0; r < rounds; ++r) {
        guard = std::min(guard, time_ns([&] {
            cleared &= presets::guard::scan(text, spec, &tables::CONFUSABLES_LATIN) ==
                       presets::guard::GuardVerdict::Canonical;
        }));
        chain = std::min(chain, time_ns([&] {
            unchanged &= presets::run_chain(presets::Preset::Canonicalize, text, {}, out) == false;
        }));
    }
    if (!cleared || !unchanged) return 1;
    std::printf("%.0f %.0f\n", guard, chain);
    return 0;
}
