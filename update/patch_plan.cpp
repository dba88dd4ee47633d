#include "update/patch_plan.h"

#include <algorithm>

ChunkLookup buildChunkLookup(const ChunkIndex& index) {
    ChunkLookup lookup;
    lookup.byFingerprint.reserve(index.chunks.size());
    for (size_t i = 0; i < index.chunks.size(); ++i)
        lookup.byFingerprint.emplace_back(index.chunks[i].fingerprint, static_cast<uint32_t>(i));
    std::sort(lookup.byFingerprint.begin(), lookup.byFingerprint.end());
    return lookup;
}

int markSeedChunk(const ChunkIndex& index, const ChunkLookup& lookup, std::vector<ChunkSource>& found,
                  int seed, uint64_t seedOffset, uint32_t length, uint64_t fingerprint) {
    auto first = std::lower_bound(lookup.byFingerprint.begin(), lookup.byFingerprint.end(),
                                  std::make_pair(fingerprint, uint32_t{0}));
    int marked = 0;
    for (auto it = first; it != lookup.byFingerprint.end() && it->first == fingerprint; ++it) {
        const uint32_t chunk = it->second;
        if (index.chunks[chunk].length != length || found[chunk].seed >= 0) continue;
        found[chunk] = ChunkSource{seed, seedOffset};
        ++marked;
    }
    return marked;
}

PatchPlan planPatch(const ChunkIndex& index, const std::vector<ChunkSource>& found, uint64_t maxRequest,
                    size_t firstChunk, size_t endChunk) {
    PatchPlan plan;
    endChunk = std::min(endChunk, index.chunks.size());
    firstChunk = std::min(firstChunk, endChunk);
    plan.begin = firstChunk < index.chunks.size() ? index.chunks[firstChunk].offset : index.fileSize;
    plan.end = endChunk < index.chunks.size() ? index.chunks[endChunk].offset : index.fileSize;
    for (size_t i = firstChunk; i < endChunk; ++i) {
        const ChunkEntry& chunk = index.chunks[i];
        const ChunkSource source = i < found.size() ? found[i] : ChunkSource{};
        const bool inPlace = source.seed == kAssemblySeed && source.offset == chunk.offset;
        if (inPlace) {
            plan.keptBytes += chunk.length;
            continue;
        }
        if (source.seed > kAssemblySeed) {
            plan.copiedBytes += chunk.length;
            if (!plan.copies.empty()) {
                SeedCopy& last = plan.copies.back();
                if (last.seed == source.seed && last.seedOffset + last.length == source.offset &&
                    last.targetOffset + last.length == chunk.offset) {
                    last.length += chunk.length;
                    continue;
                }
            }
            plan.copies.push_back(SeedCopy{source.seed, source.offset, chunk.offset, chunk.length});
            continue;
        }
        plan.fetchBytes += chunk.length;
        if (!plan.ranges.empty()) {
            FetchRange& last = plan.ranges.back();
            if (last.firstChunk + last.chunkCount == i && last.length + chunk.length <= maxRequest) {
                last.length += chunk.length;
                ++last.chunkCount;
                continue;
            }
        }
        plan.ranges.push_back(FetchRange{chunk.offset, chunk.length, static_cast<uint32_t>(i), 1});
    }
    return plan;
}

bool patchWorthwhile(const PatchPlan& plan, uint64_t fileSize) {
    return plan.localBytes() > 0 && plan.localBytes() >= fileSize / 16;
}

size_t decidedChunksEnd(const ChunkIndex& index, const std::vector<ChunkSource>& found, size_t firstChunk) {
    size_t end = firstChunk;
    // A chunk of the file being assembled counts only in place; elsewhere it is not a source.
    while (end < found.size() && end < index.chunks.size() && found[end].seed >= 0 &&
           (found[end].seed != kAssemblySeed || found[end].offset == index.chunks[end].offset))
        ++end;
    return end;
}

uint64_t patchRequestSize(uint64_t fetchBytes, int connections) {
    const uint64_t spread = (fetchBytes + static_cast<uint64_t>(std::max(connections, 1)) - 1) /
                            static_cast<uint64_t>(std::max(connections, 1));
    return std::clamp(spread, kMinPatchRequest, kMaxPatchRequest);
}
