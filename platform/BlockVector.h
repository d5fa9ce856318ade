#pragma once
// A vector that grows by fixed blocks instead of by doubling. Millions of rows kept for a session
// then take what they use plus at most one block: a doubling vector holds up to twice that, and at
// each growth the old and the new storage both, a peak of three times the rows.
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace kv {

template <typename T, unsigned BlockBits = 14> class TBlockVector {
    static constexpr size_t kBlock = size_t(1) << BlockBits;

public:
    TBlockVector() = default;
    // What is moved from is left empty, as a moved-from vector is.
    TBlockVector(TBlockVector&& o) noexcept
        : FBlocks(std::move(o.FBlocks)), FSize(std::exchange(o.FSize, 0)) {}
    TBlockVector& operator=(TBlockVector&& o) noexcept {
        FBlocks = std::move(o.FBlocks);
        o.FBlocks.clear();
        FSize = std::exchange(o.FSize, 0);
        return *this;
    }

    size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    T& operator[](size_t i) { return FBlocks[i >> BlockBits][i & (kBlock - 1)]; }
    const T& operator[](size_t i) const { return FBlocks[i >> BlockBits][i & (kBlock - 1)]; }

    void push_back(const T& value) {
        if ((FSize >> BlockBits) == FBlocks.size()) FBlocks.push_back(std::make_unique<T[]>(kBlock));
        (*this)[FSize++] = value;
    }
    void clear() {
        FBlocks.clear();
        FSize = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> FBlocks;
    size_t FSize = 0;
};

} // namespace kv
