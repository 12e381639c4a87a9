#pragma once

#include <QString>
#include <algorithm>
#include <vector>

namespace tarnwick::test {

// The characters inserted, removed or changed to turn `got` into `want`.
inline int editDistance(const QString& got, const QString& want)
{
    std::vector<int> row(size_t(want.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= got.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= want.size(); ++j) {
            const int up = row[size_t(j)];
            row[size_t(j)] = std::min({up + 1, row[size_t(j) - 1] + 1, diagonal + (got[i - 1] == want[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row.back();
}

// Edit distance from `got` to `want` over the length of `want`, in per cent: the character
// error rate of a reading. Callers fold blanks (and letters they count as one) first.
inline double characterErrorRate(const QString& got, const QString& want)
{
    return 100.0 * editDistance(got, want) / double(std::max<qsizetype>(want.size(), 1));
}

} // namespace tarnwick::test
