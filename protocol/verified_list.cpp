#include "protocol/verified_list.h"

#include "base/file.h"
#include "base/names.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"

bool readVerifiedListCopy(const std::wstring& rootFolder, Manifest& manifest) {
    constexpr uint64_t kListCopyLimit = 33554431;
    std::string list, signature;
    return readWholeFile(stateFilePath(rootFolder, kListFileName), list, kListCopyLimit) &&
           readWholeFile(stateFilePath(rootFolder, kSignatureFileName), signature, 4096) &&
           verifySignature(list, signature) && parseManifest(list, manifest);
}
