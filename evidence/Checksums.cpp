#include "evidence/Checksums.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace droskal::evidence {

std::optional<std::string> Sha256OfFile(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    std::vector<unsigned char> buffer(1 << 20);
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
        if (EVP_DigestUpdate(ctx.get(), buffer.data(), n) != 1) return std::nullopt;
    }
    if (std::ferror(file.get())) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

bool Sha256SumsText(const std::string& folder, const std::vector<std::string>& names,
                    std::string& text, std::string& error) {
    text.clear();
    for (const auto& name : names) {
        const auto hash = Sha256OfFile(folder + "/" + name);
        if (!hash) {
            error = "cannot read back " + name + " for its checksum";
            return false;
        }
        text += *hash + "  " + name + "\n";
    }
    return true;
}

}  // namespace droskal::evidence
