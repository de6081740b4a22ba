#pragma once

#include <QString>

namespace Certificates {

// A SHA-256 certificate fingerprint as a user may type or paste it (hex
// pairs with or without ':' or blanks between them, any letter case, an
// optional "SHA256:" in front) in the canonical form, 32 upper-case hex
// pairs joined by ':'; empty when it is not 32 bytes of hex.
QString NormalizeFingerprint(const QString& sText);

}  // namespace Certificates
