#include "tools/list_signing.h"

#include <cstring>
#include <vector>

#include "base/file.h"
#include "base/handles.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/key_set.h"

namespace {

// A key file is a few lines; anything larger is not one.
constexpr uint64_t kKeyFileLimit = 4095;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::wstring widen(std::string_view s) {
    return fromUtf8(s);
}

SystemError statusError(const wchar_t* what, NTSTATUS status) {
    wchar_t buffer[96];
    swprintf(buffer, 96, L"%ls failed (NTSTATUS 0x%08lx)", what, static_cast<unsigned long>(status));
    return SystemError{errorFromStatus(status), buffer};
}

SystemError invalid(std::wstring message) {
    return SystemError{ERROR_INVALID_DATA, std::move(message)};
}

// BCRYPT_ECCKEY_BLOB header followed by x, y and (for private blobs) d.
std::vector<unsigned char> keyBlob(const SigningKey& key, bool withPrivate) {
    BCRYPT_ECCKEY_BLOB header;
    header.dwMagic = withPrivate ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::vector<unsigned char> blob(sizeof header + (withPrivate ? 96 : 64));
    memcpy(blob.data(), &header, sizeof header);
    memcpy(blob.data() + sizeof header, key.x, 32);
    memcpy(blob.data() + sizeof header + 32, key.y, 32);
    if (withPrivate) memcpy(blob.data() + sizeof header + 64, key.d, 32);
    return blob;
}

}  // namespace

SystemError parseSigningKeyText(std::string_view text, SigningKey& key) {
    std::wstring error;
    SigningKey parsed;
    bool seen[3] = {};
    int lineNumber = 0;
    bool valid = true;
    forEachLine(text, [&](std::string_view rawLine) {
        std::string_view line = trimmed(rawLine);
        ++lineNumber;
        if (line.empty() || line[0] == '#') return true;
        size_t gap = line.find_first_of(" \t");
        std::string_view name = line.substr(0, gap);
        std::string_view value =
            gap == std::string_view::npos ? std::string_view() : trimmed(line.substr(gap));
        std::wstring where = L"line " + std::to_wstring(lineNumber) + L": ";
        int slot = name == "d" ? 0 : name == "x" ? 1 : name == "y" ? 2 : -1;
        if (name == "curve") {
            if (value == "P-256") return true;
            error = where + L"only the curve P-256 is supported";
        } else if (slot < 0) {
            error = where + L"unknown entry \"" + widen(name) + L"\"";
        } else if (seen[slot]) {
            error = where + L"\"" + widen(name) + L"\" appears twice";
        } else if (!fromHex(value, slot == 0 ? parsed.d : slot == 1 ? parsed.x : parsed.y, 32)) {
            error = where + L"\"" + widen(name) + L"\" needs 64 hexadecimal digits";
        } else {
            seen[slot] = true;
            return true;
        }
        valid = false;
        return false;
    });
    if (!valid) return invalid(error);
    if (!seen[0] || !seen[1] || !seen[2]) return invalid(L"the key needs the entries d, x and y");
    key = parsed;
    return SystemError{};
}

SystemError readSigningKeyFile(const std::wstring& path, SigningKey& key) {
    std::string text;
    DWORD readError = 0;
    if (!readWholeFile(path, text, kKeyFileLimit, &readError)) {
        if (readError == ERROR_FILE_TOO_LARGE)
            return SystemError{readError,
                               L"the key file " + path + L" cannot be read or is too large for a key"};
        return SystemError{
            readError, L"cannot open the key file " + path + L" (error " + std::to_wstring(readError) + L")"};
    }
    SystemError parsed = parseSigningKeyText(text, key);
    if (parsed.failed()) parsed.what = path + L": " + parsed.what;
    return parsed;
}

std::string formatSigningKeyText(const SigningKey& key) {
    return "# PRIVATE list-signing key. Whoever holds this file can publish game files to every\n"
           "# launcher that trusts its public half: keep it off servers and out of repositories.\n"
           "curve P-256\n"
           "d " +
           toHex(key.d, 32) + "\nx " + toHex(key.x, 32) + "\ny " + toHex(key.y, 32) + "\n";
}

SystemError generateSigningKey(SigningKey& key) {
    UniqueAlgorithm algorithm;
    NTSTATUS status = BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (status < 0) return statusError(L"opening ECDSA P-256", status);
    UniqueKey pair;
    status = BCryptGenerateKeyPair(algorithm.get(), pair.put(), 256, 0);
    if (status >= 0) status = BCryptFinalizeKeyPair(pair.get(), 0);
    if (status < 0) return statusError(L"generating the key pair", status);
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 96];
    ULONG size = 0;
    status = BCryptExportKey(pair.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob, sizeof blob, &size, 0);
    if (status < 0 || size != sizeof blob) return statusError(L"exporting the key pair", status);
    memcpy(key.x, blob + sizeof(BCRYPT_ECCKEY_BLOB), 32);
    memcpy(key.y, blob + sizeof(BCRYPT_ECCKEY_BLOB) + 32, 32);
    memcpy(key.d, blob + sizeof(BCRYPT_ECCKEY_BLOB) + 64, 32);
    SecureZeroMemory(blob, sizeof blob);
    return SystemError{};
}

std::string publicKeyHex(const SigningKey& key) {
    return toHex(key.x, 32) + toHex(key.y, 32);
}

void publicKeyBytes(const SigningKey& key, unsigned char out[64]) {
    memcpy(out, key.x, 32);
    memcpy(out + 32, key.y, 32);
}

SystemError signList(const SigningKey& key, std::string_view listBytes, std::string& signature) {
    Sha256 sha;
    if (!sha.ready) return SystemError{ERROR_NOT_SUPPORTED, L"SHA-256 is not available"};
    sha.add(listBytes.data(), listBytes.size());
    unsigned char digest[32];
    sha.finish(digest);

    UniqueAlgorithm algorithm;
    NTSTATUS status = BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (status < 0) return statusError(L"opening ECDSA P-256", status);
    std::vector<unsigned char> blob = keyBlob(key, true);
    UniqueKey imported;
    status = BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, imported.put(),
                                 blob.data(), static_cast<ULONG>(blob.size()), 0);
    SecureZeroMemory(blob.data(), blob.size());
    if (status < 0) return statusError(L"importing the private key", status);
    unsigned char raw[64];
    ULONG size = 0;
    status = BCryptSignHash(imported.get(), nullptr, digest, sizeof digest, raw, sizeof raw, &size, 0);
    if (status < 0 || size != sizeof raw) return statusError(L"signing", status);
    std::string result(reinterpret_cast<const char*>(raw), sizeof raw);
    PublicKey publicKey;
    publicKeyBytes(key, publicKey.data());
    if (!verifyWithKey(publicKey, listBytes, result))
        return invalid(L"the signature does not verify: d, x and y of the key do not belong together");
    signature = std::move(result);
    return SystemError{};
}

bool derToRawSignature(std::string_view der, std::string& raw) {
    size_t at = 0;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(der[i]); };
    // Short-form lengths only: a P-256 signature is at most 72 bytes.
    if (der.size() < 8 || byte(0) != 0x30 || byte(1) != der.size() - 2) return false;
    at = 2;
    std::string out;
    for (int part = 0; part < 2; ++part) {
        if (at + 2 > der.size() || byte(at) != 0x02) return false;
        size_t length = byte(at + 1);
        at += 2;
        if (length == 0 || length > 0x7f || at + length > der.size()) return false;
        std::string_view number = der.substr(at, length);
        at += length;
        while (number.size() > 1 && number[0] == '\0')
            number.remove_prefix(1);  // sign padding
        if (number.size() > 32) return false;
        out.append(32 - number.size(), '\0');
        out.append(number);
    }
    if (at != der.size()) return false;
    raw = std::move(out);
    return true;
}
