#include "kest/CaseTables.h"

#include <cstring>
#include <iterator>
#include <vector>

namespace kest {

namespace {

#include "kest/CaseData.inc"

static_assert(kCaseDataLimit == kCaseLimit, "the generated data covers another range");

// Expands runs into a flat table, then keeps each distinct block once.
template <typename V>
void Expand(const uint32_t* runs, size_t runCount, uint32_t blockSize, std::vector<uint16_t>& index,
            std::vector<V>& blocks) {
    std::vector<V> flat;
    flat.reserve(kCaseLimit);
    for (size_t r = 0; r < runCount; ++r) {
        flat.insert(flat.end(), runs[r] >> 16, V(uint16_t(runs[r] & 0xFFFF)));
    }
    // The runs cover exactly the table range; pad the last block.
    uint32_t blockCount = (kCaseLimit + blockSize - 1) / blockSize;
    flat.resize(size_t(blockCount) * blockSize, V(0));
    index.assign(blockCount, 0);
    blocks.clear();
    for (uint32_t b = 0; b < blockCount; ++b) {
        const V* block = flat.data() + size_t(b) * blockSize;
        uint32_t found = uint32_t(blocks.size() / blockSize);
        for (uint32_t k = 0; k < blocks.size() / blockSize; ++k) {
            if (std::memcmp(blocks.data() + size_t(k) * blockSize, block, blockSize * sizeof(V)) == 0) {
                found = k;
                break;
            }
        }
        if (found == blocks.size() / blockSize) blocks.insert(blocks.end(), block, block + blockSize);
        index[b] = uint16_t(found);
    }
}

struct ExpandedTables {
    ExpandedTables() {
        Expand(kUpperRuns, std::size(kUpperRuns), 512, upperIndex, upperDeltas);
        Expand(kLowerRuns, std::size(kLowerRuns), 512, lowerIndex, lowerDeltas);
        Expand(kPropertyRuns, std::size(kPropertyRuns), 128, propertyIndex, properties);
        tables = {upperIndex.data(), upperDeltas.data(), lowerIndex.data(), lowerDeltas.data(),
                  propertyIndex.data(), properties.data()};
    }
    std::vector<uint16_t> upperIndex, lowerIndex, propertyIndex;
    std::vector<int16_t> upperDeltas, lowerDeltas;
    std::vector<uint8_t> properties;
    CaseTables tables;
};

}  // namespace

const CaseTables& GetCaseTables() {
    static const ExpandedTables expanded;
    return expanded.tables;
}

// Expanded while the program starts, before any thread of ours can race for the first use.
[[maybe_unused]] const CaseTables& g_expandedAtStartUp = GetCaseTables();

uint8_t CharProperties(CodePoint cp) {
    if (cp >= kCaseLimit) return 0;
    const CaseTables& t = GetCaseTables();
    return t.properties[size_t(t.propertyIndex[cp >> 7]) * 128 + (cp & 127)];
}

}  // namespace kest
