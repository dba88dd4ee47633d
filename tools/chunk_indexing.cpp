#include "tools/chunk_indexing.h"

#include <cstring>
#include <thread>

#include "base/file.h"
#include "base/handles.h"
#include "base/text.h"
#include "protocol/object_path.h"
#include "tools/tool_files.h"

namespace {

UniqueFile openForReading(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

bool buildChunkIndex(const std::wstring& path, const ChunkParams& params, ChunkIndex& index, DWORD& error) {
    index = ChunkIndex{};
    index.params = params;
    UniqueFile file = openForReading(path);
    if (!file) {
        error = lastErrorOr(ERROR_READ_FAULT);
        return false;
    }
    ChunkReader reader(file.get(), params);
    ChunkDigester digester;
    ChunkView view;
    while (reader.next(view)) {
        ChunkEntry entry;
        entry.offset = view.offset;
        entry.length = view.length;
        entry.fingerprint = chunkFingerprint(view.data, view.length);
        if (!digester.digest(view.data, view.length, entry.strong)) {
            error = ERROR_INVALID_FUNCTION;  // CNG refused: no index rather than a wrong one
            return false;
        }
        index.chunks.push_back(entry);
        index.fileSize += view.length;
    }
    error = reader.error;
    return error == 0;
}

HashedFile hashPublishedFile(const std::wstring& path, bool withIndex, const ChunkParams& params,
                             HashProgressFn progress, void* context) {
    HashedFile result;
    uint64_t size = 0;
    const bool indexed = withIndex && fileSize(path, size) && size >= kChunkIndexThreshold;
    ChunkIndex index;
    DWORD indexError = 0;
    bool indexBuilt = false;
    std::thread indexer;
    if (indexed) {
        // The whole-file hash and the chunks' hashes each need a processor's worth of CNG time:
        // run side by side, indexing costs little more than the time the hashing takes anyway.
        indexer = std::thread([&] {
            try {
                indexBuilt = buildChunkIndex(path, params, index, indexError);
            } catch (...) {
                indexBuilt = false;
                indexError = ERROR_NOT_ENOUGH_MEMORY;
            }
        });
    }
    result.hash = hashFile(path, progress, context, &result.error);
    if (indexer.joinable()) indexer.join();
    if (result.hash.empty()) return result;
    if (!indexed) return result;
    if (!indexBuilt) {
        result.hash.clear();
        result.error = indexError;
        return result;
    }
    // Sizes are compared by the caller too, which knows what hashFile read.
    result.size = index.fileSize;
    result.index = formatChunkIndex(index);
    return result;
}

DWORD storeIndexObject(const std::wstring& serverFolder, const std::string& indexBytes,
                       const std::string& indexHash, bool* written) {
    if (written) *written = false;
    const std::wstring object = joinPath(serverFolder, objectPath(indexHash));
    uint64_t present = 0;
    if (fileSize(object, present) && present == indexBytes.size() &&
        hashFile(object, nullptr, nullptr) == indexHash)
        return 0;
    createFolderTree(object.substr(0, object.find_last_of(L'\\')));
    if (DWORD error = writeFileReplacing(object, indexBytes)) return error;
    if (written) *written = true;
    return 0;
}

std::wstring checkIndexedObject(const std::wstring& objectFile, const ChunkIndex& index,
                                std::string& wholeHash) {
    wholeHash.clear();
    UniqueFile file = openForReading(objectFile);
    if (!file)
        return L"nesne okunamadi (cannot read object): " + systemErrorText(lastErrorOr(ERROR_READ_FAULT));
    ChunkReader reader(file.get(), index.params);
    ChunkDigester digester;
    Sha256 whole;
    ChunkView view;
    size_t chunk = 0;
    std::wstring problem;
    while (reader.next(view)) {
        whole.add(view.data, view.length);
        if (!problem.empty()) continue;  // the whole hash is still wanted
        uint8_t strong[16];
        const bool same = chunk < index.chunks.size() && index.chunks[chunk].length == view.length &&
                          index.chunks[chunk].fingerprint == chunkFingerprint(view.data, view.length) &&
                          digester.digest(view.data, view.length, strong) &&
                          memcmp(strong, index.chunks[chunk].strong, sizeof strong) == 0;
        if (!same)
            problem = L"parca dizini dosyayi tarif etmiyor, parca " + std::to_wstring(chunk + 1) +
                      L" (the chunk index does not describe the file at chunk " + std::to_wstring(chunk + 1) +
                      L")";
        ++chunk;
    }
    if (reader.error) return L"nesne okunamadi (cannot read object): " + systemErrorText(reader.error);
    wholeHash = whole.finishHex();
    if (problem.empty() && chunk != index.chunks.size())
        problem = L"parca dizini dosyayi tarif etmiyor: " + std::to_wstring(index.chunks.size()) +
                  L" parca, dosyada " + std::to_wstring(chunk) +
                  L" (the chunk index does not describe the file: chunk counts differ)";
    return problem;
}
