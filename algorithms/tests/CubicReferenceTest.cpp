// The vertical cubic pass against a plain, value-by-value reading of its rules: rows of positive
// and of negative weight paired in order with 8-bit blends, slots reduced pairwise, the two
// results combined. Exact to the integer, so faster forms of the pass must keep every byte.
#include "algorithms/ImageSize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Row = std::vector<int>;

Row Blend(const Row& a, const Row& b, int t)
{
    Row out(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        out[i] = (t * a[i] + (256 - t) * b[i]) >> 8;
    return out;
}

// One list (rows in the order of k with their weights) down to one row and its total.
std::pair<Row, int> ReduceList(const std::vector<std::pair<Row, float>>& list)
{
    std::vector<std::pair<Row, int>> slots;
    size_t i = 0;
    for (; i + 1 < list.size(); i += 2) {
        const float wa = list[i].second, wb = list[i + 1].second;
        const int t = wa + wb > 0 ? static_cast<int>(wa * 256 / (wa + wb)) : 128;
        slots.push_back({Blend(list[i].first, list[i + 1].first, t), static_cast<int>((wa + wb) * 256)});
    }
    if (i < list.size())
        slots.push_back({list[i].first, static_cast<int>(list[i].second * 256)});
    while (slots.size() > 1) {
        std::vector<std::pair<Row, int>> next;
        size_t m = 0;
        for (; m + 1 < slots.size(); m += 2) {
            const int a = slots[m].second, b = slots[m + 1].second;
            const int t = a + b > 0 ? static_cast<int>(static_cast<int64_t>(a) * 256 / (a + b)) : 128;
            next.push_back({Blend(slots[m].first, slots[m + 1].first, t), a + b});
        }
        if (m < slots.size())
            next.push_back(slots[m]);
        slots = next;
    }
    return slots[0];
}

std::vector<Row> ReferenceRows(const std::vector<Row>& src, int targetRows, float B, float C)
{
    const int sourceRows = static_cast<int>(src.size());
    const float r = static_cast<float>(sourceRows) / static_cast<float>(targetRows);
    const float f = std::max(r * 1.05f, 1.0f);
    const float g = 2 * f;
    std::vector<Row> out;
    float c = 0;
    for (int i = 0; i < targetRows; ++i, c += r) {
        const int first = static_cast<int>(std::max(0.0f, c - g));
        const int last = static_cast<int>(std::min(static_cast<float>(sourceRows - 1), c + g));
        if (last - first + 1 <= 1) {
            out.push_back(src[first]);
            continue;
        }
        std::vector<std::pair<Row, float>> pos, neg;
        for (int k = first; k <= last; ++k) {
            const float w = MitchellNetravaliWeight(static_cast<float>(k) - c, f, B, C);
            (w > 0 ? pos : neg).push_back({src[k], std::fabs(w)});
        }
        if (neg.empty()) {
            out.push_back(ReduceList(pos).first);
            continue;
        }
        if (pos.empty()) {
            out.push_back(ReduceList(neg).first);
            continue;
        }
        const auto [P, L] = ReduceList(pos);
        const auto [N, M] = ReduceList(neg);
        if (L - M <= 0) {
            out.push_back(P);
            continue;
        }
        const float a = static_cast<float>(L) / static_cast<float>(L - M);
        const float b = static_cast<float>(M) / static_cast<float>(L - M);
        Row v(P.size());
        for (size_t j = 0; j < P.size(); ++j) {
            const float x = P[j] * a - N[j] * b;
            v[j] = x <= 0 ? 0 : x > 65535 ? 65535 : static_cast<int>(x + 0.5f);
        }
        out.push_back(v);
    }
    return out;
}

TEST(CubicRows, MatchTheReferenceAtManyRatios)
{
    std::mt19937 rng(17);
    const int n = 12; // three pixels of four values a row
    for (auto [from, to] : {std::pair{10, 5}, {37, 10}, {9, 4}, {5, 9}, {20, 31}, {7, 7}, {100, 13}, {3, 1}, {1, 5},
                            {2, 3}, {64, 21}, {13, 64}, {250, 3}}) {
        SCOPED_TRACE(testing::Message() << from << " rows to " << to);
        std::vector<Row> src(from, Row(n));
        std::vector<uint16_t> flat;
        for (Row& row : src)
            for (int& v : row) {
                // Extremes and steps as well as noise, so that clamping and overshoot show.
                const int kind = static_cast<int>(rng() % 4);
                v = kind == 0 ? 0 : kind == 1 ? 65535 : static_cast<int>(rng() % 65536);
                flat.push_back(static_cast<uint16_t>(v));
            }
        std::vector<uint16_t> got(static_cast<size_t>(to) * n);
        ASSERT_TRUE(ResampleRowsCubic(got.data(), flat.data(), n, from, to, 0.33f, 0.73f));
        const std::vector<Row> expect = ReferenceRows(src, to, 0.33f, 0.73f);
        for (int i = 0; i < to; ++i)
            for (int j = 0; j < n; ++j)
                ASSERT_EQ(got[static_cast<size_t>(i) * n + j], expect[i][j]) << "row " << i << " value " << j;
    }
}

} // namespace

