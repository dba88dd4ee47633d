// Test helper: adds a DER certificate to the local machine's trusted root store of the Wine prefix
// it runs in, or removes it again with "--sil". The e2e HTTPS test uses it so that its throw-away
// certificate authority is trusted inside that prefix only, never on the machine.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool readFile(const wchar_t* path, std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD got = 0;
    bool ok = size != INVALID_FILE_SIZE && ReadFile(file, bytes.data(), size, &got, nullptr) && got == size;
    CloseHandle(file);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool remove = argc == 3 && std::wstring(argv[1]) == L"--sil";
    if (argc != 2 && !remove) {
        fwprintf(stderr, L"usage: qv_trust_root [--sil] certificate.der\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (!readFile(argv[argc - 1], der)) {
        fwprintf(stderr, L"cannot read %ls\n", argv[argc - 1]);
        return 1;
    }
    // The registry half of the root store: Wine's full root store also lists the host's authorities
    // and does not enumerate the certificates added to the registry.
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        fwprintf(stderr, L"cannot open the root store (%lu)\n", GetLastError());
        return 1;
    }
    BOOL ok = FALSE;
    if (!remove) {
        ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                              static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                              nullptr);
    } else {
        // Compared by encoded bytes, which identify the certificate exactly.
        ok = TRUE;
        PCCERT_CONTEXT found = nullptr;
        while ((found = CertEnumCertificatesInStore(store, found)) != nullptr) {
            if (found->cbCertEncoded == der.size() &&
                memcmp(found->pbCertEncoded, der.data(), der.size()) == 0) {
                ok = CertDeleteCertificateFromStore(CertDuplicateCertificateContext(found));
                CertFreeCertificateContext(found);
                break;
            }
        }
    }
    DWORD error = GetLastError();
    CertCloseStore(store, 0);
    if (!ok) {
        fwprintf(stderr, L"certificate store change failed (%lu)\n", error);
        return 1;
    }
    return 0;
}
