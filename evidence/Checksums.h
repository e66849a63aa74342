#pragma once

// SHA-256 sums in the form `sha256sum -c` reads, computed with OpenSSL's libcrypto.

#include <optional>
#include <string>
#include <vector>

namespace droskal::evidence {

// Lower-case hex SHA-256 of a file's bytes as they are on the disk; nullopt when unreadable.
std::optional<std::string> Sha256OfFile(const std::string& path);

// "HASH  NAME\n" for every name (files in `folder`), in the order given; false with `error`
// when one cannot be read.
bool Sha256SumsText(const std::string& folder, const std::vector<std::string>& names,
                    std::string& text, std::string& error);

}  // namespace droskal::evidence
