#include "patcher/liza.h"

#include <gtest/gtest.h>

#include <random>

#include "patcher/liza_encoder.h"
#include "support/liza_builders.h"

namespace {

void Literals(LizaTokenWriter& w, const Bytes& bytes) {
    for (uint8_t b : bytes) w.Literal(b);
}

Bytes Repeat(const Bytes& piece, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kTail = BytesOf("tail!");

struct StreamCase {
    const char* name;
    Bytes container;
    Bytes expected;
};

std::vector<StreamCase> StreamCases() {
    std::vector<StreamCase> cases;
    cases.push_back({"StoredFiveBytes", LizaContainer(BytesOf("hello"), 5, false), BytesOf("hello")});
    {
        // An output of 4 bytes or less skips the first control word and copies what follows.
        Bytes payload = Concat({Bytes{0xAA, 0xBB, 0xCC, 0xDD}, BytesOf("abc")});
        cases.push_back({"CodedThreeBytes", LizaContainer(payload, 3, true), BytesOf("abc")});
    }
    {
        LizaTokenWriter w;
        Literals(w, {1, 2, 3, 4});
        w.Copy(LizaForm::Medium, 4, 10);
        Literals(w, kTail);
        cases.push_back({"OverlappingCopyRepeatsWhatItProduced", CodedContainer(w, 19),
                         Concat({{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2}, kTail})});
    }
    {
        LizaTokenWriter w;
        Literals(w, BytesOf("abcdef"));
        w.Run(0, 'z');
        Literals(w, kTail);
        cases.push_back({"RunOfNothing", CodedContainer(w, 11), BytesOf("abcdeftail!")});
    }
    {
        LizaTokenWriter w;
        w.Run(4095, 0x5A);
        Literals(w, kTail);
        cases.push_back({"LongestRun", CodedContainer(w, 4100), Concat({Bytes(4095, 0x5A), kTail})});
    }
    {
        std::mt19937 rng(7);
        Bytes history(131071);
        for (auto& b : history) b = static_cast<uint8_t>(rng());
        LizaTokenWriter w;
        Literals(w, history);
        w.Copy(LizaForm::Far, 131071, 2050);
        Literals(w, kTail);
        Bytes expected = Concat({history, Bytes(history.begin(), history.begin() + 2050), kTail});
        cases.push_back(
            {"FarthestLongestCopy", CodedContainer(w, static_cast<uint32_t>(expected.size())), expected});
    }
    {
        // Four literals in one step empty the control value; the next word is a control word.
        LizaTokenWriter w;
        Bytes first(31, 'q');
        Literals(w, first);
        w.Copy(LizaForm::Short, 4, 3);
        Literals(w, BytesOf("wxyz"));
        w.Copy(LizaForm::Near, 8, 3);
        w.Copy(LizaForm::Long, 12, 34);
        Literals(w, kTail);
        Bytes expected = first;
        auto copy = [&](size_t offset, size_t length) {
            for (size_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - offset]);
        };
        copy(4, 3);
        Bytes wxyz = BytesOf("wxyz");
        expected.insert(expected.end(), wxyz.begin(), wxyz.end());
        copy(8, 3);
        copy(12, 34);
        expected.insert(expected.end(), kTail.begin(), kTail.end());
        cases.push_back(
            {"EveryFormAcrossGroups", CodedContainer(w, static_cast<uint32_t>(expected.size())), expected});
    }
    return cases;
}

class LizaStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(LizaStream, BothDecodersGiveTheBytes) {
    const StreamCase& c = GetParam();
    Decoded checked = CheckedDecode(c.container);
    ASSERT_TRUE(checked.ok) << checked.reason;
    EXPECT_EQ(checked.bytes, c.expected);
    Decoded reference = ReferenceDecode(c.container);
    EXPECT_EQ(reference.bytes, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Format, LizaStream, ::testing::ValuesIn(StreamCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LizaHeader, UnpackedSizeNeedsTheLeadingMagic) {
    Bytes c = LizaPack(BytesOf("some bytes to pack"));
    EXPECT_EQ(LizaGetUnpackedSize(c), 18u);
    c[0] = 'X';
    EXPECT_EQ(LizaGetUnpackedSize(c), 0u);
    EXPECT_EQ(LizaGetUnpackedSize(Bytes{'L', 'I'}), 0u);
}

Bytes Put32At(Bytes c, size_t at, uint32_t v) {
    LizaStore32(c.data() + at, v);
    return c;
}

// Containers that are wrong or damaged in one way each; the checked decoder refuses every one.
TEST(LizaDamage, EveryDamagedContainerIsRefused) {
    const Bytes data = BytesOf("The quick brown fox jumps over the lazy dog. The quick brown fox again.");
    const Bytes good = LizaPack(data);
    ASSERT_TRUE(CheckedDecode(good).ok);
    const uint32_t size = static_cast<uint32_t>(good.size());

    auto coded = [](auto build, uint32_t unpacked) {
        LizaTokenWriter w;
        build(w);
        return CodedContainer(w, unpacked);
    };
    struct Row {
        const char* name;
        Bytes container;
    };
    std::vector<Row> rows = {
        {"LevelTwo", Put32At(good, 4, 2)},
        {"LeadingMagic", Put32At(good, 0, 0x41414141)},
        {"TrailingMagicNotAtTheSize", Put32At(good, 8, size - 1)},
        {"SizeFieldBeyondTheBytes", Put32At(Bytes(good.begin(), good.end() - 1), 8, size)},
        {"SizeFieldBelowTheHeader", Put32At(good, 8, 8)},
        {"TooFewBytesForAHeader", Bytes{'L', 'I', 'Z', 'A', 3, 0, 0, 0}},
        {"StoredLongerThanItsPayload", Put32At(LizaContainer(BytesOf("abc"), 3, false), 12, 100)},
        {"UnpackedSizeBeyondThePayload", Put32At(good, 12, 100000)},
        {"CopyBeforeTheStart", coded(
                                   [](auto& w) {
                                       Literals(w, BytesOf("abcd"));
                                       w.Copy(LizaForm::Near, 9, 3);
                                       Literals(w, kTail);
                                   },
                                   12)},
        {"CopyOffsetBelowFour", coded(
                                    [](auto& w) {
                                        Literals(w, BytesOf("abcd"));
                                        w.Copy(LizaForm::Short, 2, 3);
                                        Literals(w, kTail);
                                    },
                                    12)},
        {"CopyPastTheEnd", coded(
                               [](auto& w) {
                                   Literals(w, BytesOf("abcdefgh"));
                                   w.Copy(LizaForm::Medium, 4, 18);
                               },
                               12)},
        {"RunPastTheEnd", coded(
                              [](auto& w) {
                                  Literals(w, BytesOf("abcdefgh"));
                                  w.Run(100, 1);
                              },
                              12)},
        {"PayloadEndsInTheMiddle", coded([](auto& w) { Literals(w, BytesOf("abcdefgh")); }, 40)},
    };
    for (const Row& row : rows) {
        Decoded d = CheckedDecode(row.container);
        EXPECT_FALSE(d.ok) << row.name;
        EXPECT_FALSE(d.reason.empty()) << row.name;
    }
}

TEST(LizaDamage, OutputBufferWithoutSlackIsRefused) {
    Bytes c = LizaPack(BytesOf("0123456789"));
    Bytes out(10);
    EXPECT_FALSE(LizaUnpack(c, out).ok);
    out.resize(10 + kLizaOutputSlack);
    EXPECT_TRUE(LizaUnpack(c, out).ok);
}

// Flipped bytes anywhere in a container must never take the decoder outside its buffers (the
// sanitizer build watches), and a result that is accepted has the announced size.
TEST(LizaDamage, RandomCorruptionStaysInsideTheBuffers) {
    std::mt19937 rng(20261210);
    Bytes data;
    for (int i = 0; i < 3000; ++i) data.push_back(static_cast<uint8_t>("abcab\0\0\xff"[rng() % 8]));
    const Bytes good = LizaPack(data);
    for (int round = 0; round < 3000; ++round) {
        Bytes c = good;
        int flips = 1 + rng() % 4;
        for (int i = 0; i < flips; ++i) c[rng() % c.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        if (rng() % 5 == 0) c.resize(rng() % c.size());
        Bytes out(LizaGetUnpackedSize(c) % 1000000 + kLizaOutputSlack);
        LizaResult r = LizaUnpack(c, out);
        if (r.ok) {
            EXPECT_EQ(r.size, LizaGetUnpackedSize(c));
        }
    }
}

// Streams the format's own decoder takes although they do not end on five literals: the bytes up
// to the unpacked size are the same.
TEST(LizaEnd, StreamsEndingOnAMatchOrAShortLiteralStep) {
    LizaTokenWriter w1;
    Literals(w1, BytesOf("abcdefgh"));
    w1.Copy(LizaForm::Medium, 8, 8);
    Bytes endsOnMatch = CodedContainer(w1, 16);
    LizaTokenWriter w2;
    Literals(w2, BytesOf("abcdefgh"));
    w2.Copy(LizaForm::Medium, 8, 6);
    Literals(w2, BytesOf("xy"));
    Bytes endsOnShortStep = CodedContainer(w2, 16);
    for (const Bytes& c : {endsOnMatch, endsOnShortStep}) {
        Decoded checked = CheckedDecode(c);
        ASSERT_TRUE(checked.ok) << checked.reason;
        Decoded reference = ReferenceDecode(c);
        reference.bytes.resize(16);
        EXPECT_EQ(checked.bytes, reference.bytes);
    }
}

Bytes Mixed(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out;
    const char* words[] = {"launcher ", "velmora ", "update ", "client ", "archive ", "\n"};
    while (out.size() < size) {
        switch (rng() % 5) {
            case 4:
                for (int i = rng() % 30; i > 0; --i) {
                    out.insert(out.end(), {'k', 'e', 'y'});
                    out.push_back(static_cast<uint8_t>('0' + rng() % 10));
                }
                break;
            case 0:
                for (int i = rng() % 300; i > 0; --i) out.push_back(static_cast<uint8_t>(rng()));
                break;
            case 1:
                out.insert(out.end(), rng() % 5000, static_cast<uint8_t>(rng()));
                break;
            case 2:
                for (int i = rng() % 40; i > 0; --i) {
                    const char* word = words[rng() % 6];
                    out.insert(out.end(), word, word + strlen(word));
                }
                break;
            default:
                if (out.size() > 200000) {
                    size_t from = out.size() - 4 - rng() % 131000;
                    for (size_t i = 0, n = rng() % 3000; i < n; ++i) out.push_back(out[from + i]);
                }
                break;
        }
    }
    out.resize(size);
    return out;
}

TEST(LizaPack, RoundTripsThroughBothDecoders) {
    std::vector<Bytes> inputs = {
        Bytes{},         Bytes{7},      BytesOf("abcd"), BytesOf("abcde"), Bytes(6, 0),
        Bytes(10000, 0), Mixed(100, 1), Mixed(70000, 2), Mixed(600000, 3), Repeat(BytesOf("abcdefgh"), 1000)};
    std::mt19937 rng(5);
    Bytes noise(50000);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    inputs.push_back(noise);
    for (const Bytes& data : inputs) {
        for (bool stored : {false, true}) {
            Bytes c = LizaPack(data, stored);
            Decoded checked = CheckedDecode(c);
            ASSERT_TRUE(checked.ok) << checked.reason << " size " << data.size();
            EXPECT_EQ(checked.bytes, data);
            EXPECT_EQ(ReferenceDecode(c).bytes, data) << "size " << data.size() << " stored " << stored;
        }
    }
}

// The progress reports of a decoding: the same bytes come out, and a report never claims more than
// was produced or consumed, so pages before produced - window may safely be let go.
TEST(LizaProgress, ReportsAreBehindTheDecoderAndChangeNothing) {
    for (bool stored : {false, true}) {
        const Bytes data = Mixed(600000, 4);
        const Bytes c = LizaPack(data, stored);
        struct Seen {
            std::vector<std::pair<size_t, size_t>> reports;
        } seen;
        const LizaProgress progress{50000,
                                    [](void* context, size_t produced, size_t consumed) {
                                        static_cast<Seen*>(context)->reports.emplace_back(produced, consumed);
                                    },
                                    &seen};
        Bytes out(data.size() + kLizaOutputSlack);
        LizaResult result = LizaUnpack(c, out, &progress);
        ASSERT_TRUE(result.ok) << result.reason;
        out.resize(result.size);
        EXPECT_TRUE(out == data) << stored;
        ASSERT_GE(seen.reports.size(), 10u) << stored;
        for (size_t i = 1; i < seen.reports.size(); ++i) {
            EXPECT_GT(seen.reports[i].first, seen.reports[i - 1].first);
            EXPECT_LE(seen.reports[i].first, data.size());
            EXPECT_LE(seen.reports[i].second, c.size());
        }
    }
}

TEST(LizaPack, MixedDataUsesEveryFormAndShrinks) {
    Bytes data = Mixed(600000, 3);
    Bytes c = LizaPack(data);
    std::map<std::string, int> counts = CountTokens(c);
    for (const char* form : {"literal", "run", "short", "near", "medium", "long", "far"})
        EXPECT_GT(counts[form], 0) << form;
    EXPECT_LT(c.size(), data.size() * 6 / 10);
}

}  // namespace

namespace {

// Streams of random valid tokens (every form, short offsets that overlap, runs, literal stretches
// that cross group boundaries) decode to the same bytes in both decoders.
TEST(LizaRandomStreams, BothDecodersAgree) {
    std::mt19937 rng(424242);
    const LizaForm forms[] = {LizaForm::Short, LizaForm::Near, LizaForm::Medium, LizaForm::Long,
                              LizaForm::Far};
    for (int round = 0; round < 300; ++round) {
        LizaTokenWriter w;
        size_t produced = 0;
        size_t target = 20 + rng() % 20000;
        while (produced + 40 < target) {
            unsigned pick = rng() % 10;
            if (pick < 4 || produced < 8) {
                for (int i = 1 + rng() % 40; i > 0; --i, ++produced) w.Literal(static_cast<uint8_t>(rng()));
            } else if (pick == 4) {
                uint32_t count = rng() % 3 == 0 ? rng() % 8 : rng() % 600;
                w.Run(count, static_cast<uint8_t>(rng()));
                produced += count;
            } else {
                LizaForm form = forms[rng() % 5];
                LizaFormLimits limits = LizaLimitsOf(form);
                uint32_t maxOffset = static_cast<uint32_t>(std::min<size_t>(limits.maxOffset, produced));
                uint32_t offset = rng() % 2 ? 4 + rng() % 16 : 4 + rng() % (maxOffset - 3);
                offset = std::min(offset, maxOffset);
                uint32_t length = form == LizaForm::Short || form == LizaForm::Near
                                      ? 3
                                      : 3 + rng() % (limits.maxLength - 2);
                w.Copy(form, offset, length);
                produced += length;
            }
        }
        for (int i = 0; i < 5; ++i, ++produced) w.Literal(static_cast<uint8_t>(rng()));
        Bytes c = CodedContainer(w, static_cast<uint32_t>(produced));
        Decoded reference = ReferenceDecode(c);
        ASSERT_EQ(reference.bytes.size(), produced) << "round " << round;
        Decoded checked = CheckedDecode(c);
        ASSERT_TRUE(checked.ok) << checked.reason << " round " << round;
        ASSERT_EQ(checked.bytes, reference.bytes) << "round " << round;
    }
}

}  // namespace
