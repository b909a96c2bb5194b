// The library's compressed streams against zlib at level 1, on four kinds
// of data: program source, English prose, a 24-bit BMP picture and random
// bytes. Ours goes
// through the stream functions (SaveCompressedStream / LoadCompressedStream
// between memory streams); zlib compresses and expands the whole buffer at
// once (compress2 level 1, uncompress), its most favourable use.
//
// Runs both sides alternately over several rounds; prints MB/s of input
// (min/median/max) and the ratios ours / zlib, then one line per kind with
// its median compression speed ratio, and last the lowest of those. Every
// run is checked to give its input back; fails when a side could not be
// measured or no prose was found.
// Usage: bench_compress [--rounds R] [--mb N]
#include "widgets/painting/bmp_format.h"
#include "widgets/storage/stream.h"

#include "bench_stats.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;
using namespace kyd::widgets;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void Append(Bytes& corpus, const fs::path& file)
{
    std::ifstream f(file, std::ios::binary);
    corpus.insert(corpus.end(), std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes Repeated(const Bytes& corpus, std::size_t size)
{
    Bytes out;
    while (!corpus.empty() && out.size() < size)
        out.insert(out.end(), corpus.begin(), corpus.begin() + static_cast<long>(std::min(corpus.size(), size - out.size())));
    return out;
}

// The project's own sources, repeated up to size bytes.
Bytes TextData(std::size_t size)
{
    Bytes corpus;
    for (const auto& e : fs::recursive_directory_iterator(KYD_SOURCE_DIR "/src")) {
        const auto ext = e.path().extension();
        if (e.is_regular_file() && (ext == ".cpp" || ext == ".h"))
            Append(corpus, e.path());
    }
    return Repeated(corpus, size);
}

// English prose: the project's read-me and the licence texts the system
// keeps, repeated up to size bytes.
Bytes ProseData(std::size_t size)
{
    Bytes corpus;
    Append(corpus, KYD_SOURCE_DIR "/README.md");
    std::error_code ec;
    std::vector<fs::path> texts;
    for (const auto& e : fs::directory_iterator("/usr/share/common-licenses", ec))
        if (e.is_regular_file() && !e.is_symlink())
            texts.push_back(e.path());
    std::sort(texts.begin(), texts.end());
    for (const auto& t : texts)
        Append(corpus, t);
    if (corpus.size() < 100'000)
        return {}; // too little to stand for prose
    return Repeated(corpus, size);
}

// A window-like picture: gradient title bars, flat panels, framed fields
// and a noisy photo area, as a 24-bit BMP image.
Bytes BmpData(std::size_t size)
{
    const int w = 1024;
    const int h = static_cast<int>(std::max<std::size_t>(64, size / (3 * w)));
    Bytes b = DUDBmpHeaders(w, h, 24);
    std::mt19937 rng(11);
    const std::size_t row = static_cast<std::size_t>(DUDBmpRowBytes(w, 24));
    const std::size_t start = b.size();
    b.resize(start + row * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = b.data() + start + row * static_cast<std::size_t>(y);
        for (int x = 0; x < w; ++x) {
            std::uint8_t r, g, bl;
            const int band = y % 200;
            if (band < 18) { // title bar: a horizontal gradient
                r = static_cast<std::uint8_t>(x * 255 / w);
                g = static_cast<std::uint8_t>(40 + x * 100 / w);
                bl = 160;
            } else if (x > 600 && band > 40 && band < 180) { // a photo
                const int n = static_cast<int>(rng() % 24);
                r = static_cast<std::uint8_t>(120 + (x % 97) + n);
                g = static_cast<std::uint8_t>(90 + (y % 61) + n);
                bl = static_cast<std::uint8_t>(60 + ((x + y) % 50) + n);
            } else if ((x % 150 == 10 || band % 30 == 25) && x < 580) { // field frames
                r = g = bl = 128;
            } else {
                r = 212, g = 208, bl = 200; // panel face
            }
            p[3 * x] = bl;
            p[3 * x + 1] = g;
            p[3 * x + 2] = r;
        }
    }
    return b;
}

Bytes RandomData(std::size_t size)
{
    std::mt19937 rng(5);
    Bytes b(size);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

using kyd::bench::Spread;

struct Series {
    Spread mbps;
    void Add(std::size_t bytes, double s) { mbps.add(bytes / s / 1e6); }
    double Last() const { return mbps.values.back(); }
};

struct Result {
    Series oursPack, oursUnpack, zlibPack, zlibUnpack;
    Spread packRatio, unpackRatio;
    std::size_t oursSize = 0, zlibSize = 0;
};

bool Measure(const char* name, const Bytes& data, int rounds, Result& res)
{
    // Both sides reuse their output memory from round to round.
    Bytes zbuf(compressBound(static_cast<uLong>(data.size())));
    Bytes zout(data.size());
    TMemoryStream packed, back;
    for (int r = 0; r < rounds; ++r) {
        for (int side = 0; side < 2; ++side) {
            const bool oursFirst = r % 2 == 0;
            const bool ours = (side == 0) == oursFirst;
            if (ours) {
                TMemoryStream source(data);
                packed.Clear();
                back.Clear();
                auto t0 = Clock::now();
                SaveCompressedStream(source, packed, static_cast<std::int64_t>(data.size()));
                const double pack = Seconds(t0);
                packed.SetPosition(0);
                t0 = Clock::now();
                LoadCompressedStream(packed, back);
                const double unpack = Seconds(t0);
                if (pack <= 0 || unpack <= 0 || back.Bytes() != data) {
                    std::fprintf(stderr, "bench_compress: %s, ours could not be measured\n", name);
                    return false;
                }
                res.oursPack.Add(data.size(), pack);
                res.oursUnpack.Add(data.size(), unpack);
                res.oursSize = static_cast<std::size_t>(packed.Size());
            } else {
                uLongf packedSize = static_cast<uLongf>(zbuf.size());
                auto t0 = Clock::now();
                const int rc1 = compress2(zbuf.data(), &packedSize, data.data(), static_cast<uLong>(data.size()), 1);
                const double pack = Seconds(t0);
                uLongf outSize = static_cast<uLongf>(zout.size());
                t0 = Clock::now();
                const int rc2 = uncompress(zout.data(), &outSize, zbuf.data(), packedSize);
                const double unpack = Seconds(t0);
                if (rc1 != Z_OK || rc2 != Z_OK || pack <= 0 || unpack <= 0 || outSize != data.size() || zout != data) {
                    std::fprintf(stderr, "bench_compress: %s, zlib could not be measured\n", name);
                    return false;
                }
                res.zlibPack.Add(data.size(), pack);
                res.zlibUnpack.Add(data.size(), unpack);
                res.zlibSize = packedSize;
            }
        }
        res.packRatio.add(res.oursPack.Last() / res.zlibPack.Last());
        res.unpackRatio.add(res.oursUnpack.Last() / res.zlibUnpack.Last());
    }
    auto line = [](const char* what, const Series& s) {
        const Spread& st = s.mbps;
        std::printf("    %-14s MB/s: min %7.1f  median %7.1f  max %7.1f\n", what, st.min(), st.median(), st.max());
    };
    std::printf("  %s: %zu bytes; ours %.1f%%, zlib-1 %.1f%% of the input\n", name, data.size(),
                100.0 * res.oursSize / data.size(), 100.0 * res.zlibSize / data.size());
    line("ours compress", res.oursPack);
    line("zlib compress", res.zlibPack);
    line("ours expand", res.oursUnpack);
    line("zlib expand", res.zlibUnpack);
    const Spread &p = res.packRatio, &u = res.unpackRatio;
    std::printf("    ratio ours / zlib, compress: min %.2f median %.2f max %.2f; expand: min %.2f median %.2f max %.2f\n",
                p.min(), p.median(), p.max(), u.min(), u.median(), u.max());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 7;
    double mb = 4;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(5, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--mb"))
            mb = std::max(0.1, std::atof(argv[i + 1]));
    }
    const auto size = static_cast<std::size_t>(mb * 1024 * 1024);
    const Bytes text = TextData(size);
    if (text.size() < size / 2) {
        std::fprintf(stderr, "bench_compress: no source text found under %s\n", KYD_SOURCE_DIR);
        return 1;
    }
    const Bytes prose = ProseData(size);
    if (prose.empty()) {
        std::fprintf(stderr, "bench_compress: no prose found (README.md, /usr/share/common-licenses)\n");
        return 1;
    }
    std::printf("compressed streams against zlib level 1, %d rounds\n", rounds);
    struct Kind {
        const char* name;
        Bytes data;
        Result res;
    };
    Kind kinds[] = {{"source code", text, {}},
                    {"prose", prose, {}},
                    {"24-bit picture", BmpData(size), {}},
                    {"random bytes", RandomData(size), {}}};
    for (auto& k : kinds)
        if (!Measure(k.name, k.data, rounds, k.res))
            return 1;
    double lowest = 1e300;
    const char* lowestName = "";
    for (auto& k : kinds) {
        const Spread &p = k.res.packRatio, &u = k.res.unpackRatio;
        std::printf("%s, ours / zlib-1 speed (median): compress %.2f (min %.2f, max %.2f), expand %.2f\n", k.name,
                    p.median(), p.min(), p.max(), u.median());
        if (p.median() < lowest) {
            lowest = p.median();
            lowestName = k.name;
        }
    }
    std::printf("lowest compress speed ratio ours / zlib-1 (median): %.2f (%s)\n", lowest, lowestName);
    return 0;
}
