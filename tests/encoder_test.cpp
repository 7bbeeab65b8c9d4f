// Tests of the raster line encoder: exact frames for known lines, and round trips through the
// payload decoder over many generated lines.
#include <gtest/gtest.h>

#include <random>

#include "jobstate.h"
#include "output/encoder.h"
#include "payload.h"
#include "support/hex.h"
#include "support/process.h"
#include "support/reference_encoder.h"
#include "support/stream.h"

namespace {

// Sends one line through CompressDataAndSend with a page-sized encoder buffer.
Bytes sendLine(const Bytes& line)
{
    Bytes buffer(2 * line.size() + 2, 0xFF);
    szCompressBuf = buffer.data();
    Bytes out = captureStdout([&] {
        EXPECT_EQ(CompressDataAndSend(line.data(), static_cast<uint32_t>(line.size()), 3), 0);
    });
    szCompressBuf = nullptr;
    return out;
}

Bytes noThreeEqual(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes line;
    while (line.size() < n) {
        uint8_t b = static_cast<uint8_t>(rng());
        size_t k = line.size();
        if (k >= 2 && line[k - 1] == b && line[k - 2] == b)
            continue;
        line.push_back(b);
    }
    if (!line.empty() && line.back() == 0xFF)
        line.back() = 0x00;  // keep the white-end trim out of it
    return line;
}

struct EncoderPath {
    const char* name;
    size_t (*encode)(const unsigned char*, size_t, unsigned char*);
    size_t (*room)(size_t);  // what the path may write for a trimmed line
    size_t minLine;          // the shortest trimmed line it takes
};

const EncoderPath kPaths[] = {
    {"plain", encodePayloadPlain, maxPayloadSize, 0},
#ifdef KORVI_SSE2_ENCODER
    {"sse2", encodePayloadSse2, payloadRoom, kVectorMinBytes},
#endif
    {"dispatcher", encodeLinePayload, payloadRoom, 0},
};

Bytes join(std::initializer_list<Bytes> parts)
{
    return cat(parts);
}

}  // namespace

TEST(Encoder, KnownLinesGiveExactFrames)
{
    const Bytes ramp130 = noThreeEqual(130, 7);
    struct Case {
        const char* name;
        Bytes line;
        Bytes payload;
    } cases[] = {
        {"empty line", {}, {}},
        {"all white", rep(0xFF, 6), {}},
        {"margin, pixels, white end", hex("FF FF 0F F0 FF FF"), hex("01 00 00 01 F0 0F")},
        {"three different", hex("12 34 56"), hex("00 ED 01 CB A9")},
        {"run stops before last byte", join({rep(0x00, 8), hex("81")}), hex("F9 FF 00 7E")},
        {"mixed line", hex("FF FF FF FF 00 00 00 3C 3C 7E 00 00 00 00 01 FF FF"),
         hex("FD 00 FE FF 02 C3 C3 81 FD FF 00 FE")},
        {"run then pair then single", hex("AA AA AA AA AA 55 55 33"), hex("FC 55 00 AA 01 AA CC")},
        {"200 black", rep(0x00, 200), hex("82 FF B9 FF 00 FF")},
        {"only first byte dark", hex("00 FF FF FF"), hex("00 FF")},
        {"one byte", hex("5A"), hex("00 A5")},
        {"two equal", hex("00 00"), hex("01 FF FF")},
        {"two different", hex("00 01"), hex("01 FF FE")},
        {"three equal", rep(0x77, 3), hex("FE 88")},
        {"four equal", rep(0x77, 4), hex("FE 88 00 88")},
        {"five equal", rep(0x77, 5), hex("FD 88 00 88")},
        {"six equal", rep(0x77, 6), hex("FC 88 00 88")},
        {"126 equal", rep(0x5A, 126), hex("84 A5 00 A5")},
        {"127 run then one", join({rep(0x00, 127), hex("01")}), hex("82 FF 00 FE")},
        {"128 run then one", join({rep(0x00, 128), hex("01")}), hex("82 FF 01 FF FE")},
        {"129 run then one", join({rep(0x00, 129), hex("01")}), hex("82 FF 00 FF 01 FF FE")},
        {"pair inside literal", hex("12 34 34 56 78"), hex("02 ED CB CB 01 A9 87")},
        {"four different", hex("01 02 03 04"), hex("01 FE FD 01 FC FB")},
        {"five margin bytes", join({rep(0xFF, 5), hex("00")}), hex("FC 00 00 FF")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sendLine(c.line), frame(c.payload)) << c.name;

    Bytes out = sendLine(ramp130);
    ASSERT_EQ(out.size(), 6u + 133u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), hex("1B 2A 41 02 85 00"));
    EXPECT_EQ(out[6], 0x7E);
    EXPECT_EQ(out[6 + 128], 0x00);
    EXPECT_EQ(out[6 + 130], 0x01);
}

TEST(Encoder, OverlongLineIsClippedSoTheLengthFieldHoldsThePayload)
{
    for (size_t n : {size_t(65022), size_t(65023), size_t(70000), size_t(140000)}) {
        Bytes line = noThreeEqual(n, 11);
        Bytes out = sendLine(line);
        ASSERT_GE(out.size(), 6u);
        size_t field = out[4] | (out[5] << 8);
        EXPECT_EQ(field, out.size() - 6) << n;
        EXPECT_EQ(field, 65535u) << n;
        Bytes decoded;
        ASSERT_TRUE(decodePayload(out.data() + 6, out.size() - 6, decoded)) << n;
        EXPECT_EQ(decoded, Bytes(line.begin(), line.begin() + 65022)) << n;
    }
}

TEST(Encoder, RoundTripsWithinTheSizeBound)
{
    std::vector<Bytes> lines;
    for (size_t n = 0; n <= 4; ++n)
        for (uint32_t v = 0; v < (1u << (2 * n)); ++v) {  // every line of 0..4 bytes over 4 values
            Bytes line;
            for (size_t i = 0; i < n; ++i)
                line.push_back(static_cast<uint8_t>(v >> (2 * i) & 3) * 0x55);
            lines.push_back(line);
        }
    for (size_t run : {1, 2, 3, 4, 5, 126, 127, 128, 129, 253, 254, 255, 256, 381})
        for (const Bytes& before : {Bytes{}, hex("12"), hex("12 34")})
            for (const Bytes& after : {Bytes{}, hex("56"), hex("56 78"), hex("56 FF FF")}) {
                lines.push_back(join({before, rep(0x00, run), after}));
                lines.push_back(join({rep(0xFF, run), before, rep(0x3C, run), after}));
            }
    std::mt19937 rng(1234);
    for (int i = 0; i < 3000; ++i) {
        Bytes line(rng() % 700);
        uint8_t palette[3] = {0x00, 0xFF, static_cast<uint8_t>(rng())};
        bool runny = i % 2 == 0;
        for (uint8_t& b : line)
            b = runny ? palette[rng() % 3] : static_cast<uint8_t>(rng());
        lines.push_back(line);
    }
    // Runs of every length around the 127-byte limit and its leftovers, between literals.
    for (int i = 0; i < 2000; ++i) {
        Bytes line;
        size_t size = 32 + rng() % 900;
        while (line.size() < size) {
            size_t n = rng() % 3 == 0 ? 120 + rng() % 140 : 1 + rng() % 6;
            line.insert(line.end(), n, static_cast<uint8_t>(rng() % 4 * 0x55));
        }
        lines.push_back(line);
    }
    for (size_t n : {3, 4, 127, 128, 129, 130, 254, 255, 256, 1000})
        lines.push_back(noThreeEqual(n, static_cast<uint32_t>(n)));

    for (const EncoderPath& path : kPaths)
        for (const Bytes& line : lines) {
            size_t t = trimmedLength(line.data(), line.size());
            if (t < path.minLine)
                continue;
            Bytes payload(path.room(t));  // the payload must fit: ASan builds check every store
            size_t size = path.encode(line.data(), t, payload.data());
            ASSERT_LE(size, maxPayloadSize(t)) << path.name;
            Bytes decoded;
            PayloadFault fault;
            ASSERT_TRUE(decodePayload(payload.data(), size, decoded, &fault)) << fault.what;
            ASSERT_EQ(decoded, Bytes(line.begin(), line.begin() + t));
            bool threeEqual = false;
            for (size_t i = 2; i < t; ++i)
                threeEqual |= line[i] == line[i - 1] && line[i] == line[i - 2];
            if (!threeEqual) {
                ASSERT_EQ(size, maxPayloadSize(t)) << path.name << ", line of " << t;
            }
            // The same tokens as the rules give byte by byte, not just any valid encoding.
            ASSERT_EQ(Bytes(payload.begin(), payload.begin() + long(size)), referencePayload(line.data(), t))
                << path.name;
        }
}

TEST(Encoder, APagesBufferHoldsWhatEveryPathWrites)
{
    // CompressDataAndSend encodes into the page's buffer of 2 * length + 2 bytes.
    for (size_t t = 0; t <= kMaxEncodedLineBytes; ++t)
        ASSERT_LE(payloadRoom(t), 2 * t + 2) << t;
}

TEST(Encoder, TrimDropsExactlyTheWhiteEnd)
{
    for (size_t size = 0; size <= 100; ++size)
        for (size_t white = 0; white <= size; ++white) {
            Bytes line(size, 0xFF);
            for (size_t i = 0; i + white < size; ++i)
                line[i] = i % 3 ? 0xFF : 0x7E;  // white bytes inside the line stay
            if (white < size)
                line[size - white - 1] = 0xFE;
            ASSERT_EQ(trimmedLength(line.data(), size), size - white) << size << " " << white;
        }
}
