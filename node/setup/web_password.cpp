// The web console's password rule and its PBKDF2-HMAC-SHA-256 hash.
#include "setup/web_password.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QString>
#include <QStringDecoder>
#include <array>
#include <optional>

namespace gw {
namespace {
constexpr const char* kScheme = "pbkdf2-sha256";
// About 70 ms per hash on the x86 machine the count was measured on, a few tenths of a second
// on a Raspberry Pi: each login blocks the node's event loop that long.
constexpr int kIterations = 25000;
// A stored count beyond this would stall the event loop for seconds at each login.
constexpr int kMaxIterations = 10 * kIterations;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QByteArray derive(const std::string& password, const QByteArray& salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256,
                                              QByteArray::fromStdString(password), salt, iterations,
                                              kKeyBytes);
}

// Strict base64 of exactly `size` bytes, else empty.
QByteArray decodeField(QByteArrayView field, int size) {
    const auto decoded = QByteArray::fromBase64Encoding(field.toByteArray(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size) return {};
    return decoded.decoded;
}

// A decimal count from 1 to kMaxIterations, else 0.
int parseIterations(QByteArrayView field) {
    if (field.isEmpty() || field.size() > 9) return 0;
    int count = 0;
    for (const char digit : field) {
        if (digit < '0' || digit > '9') return 0;
        count = count * 10 + (digit - '0');
    }
    return count <= kMaxIterations ? count : 0;
}
} // namespace

std::string webPasswordProblem(const std::string& password) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(password.data(), qsizetype(password.size())));
    if (utf8.hasError()) return "The password is not UTF-8 text.";
    const QList<uint> characters = text.toUcs4();
    if (characters.size() < 8) return "The password must have at least 8 characters.";
    if (characters.size() > 64) return "The password must have at most 64 characters.";
    for (const uint character : characters)
        if (QChar::category(character) == QChar::Other_Control)
            return "The password must not contain control characters.";
    return "";
}

std::string hashWebPassword(const std::string& password) {
    std::array<quint32, kSaltBytes / 4> words{};
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray salt(reinterpret_cast<const char*>(words.data()), kSaltBytes);
    const QByteArray key = derive(password, salt, kIterations);
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" +
           salt.toBase64().toStdString() + "$" + key.toBase64().toStdString();
}

namespace {
struct StoredHash {
    int iterations = 0;
    QByteArray salt;
    QByteArray key;
};

// The stored text's fields, or none when it is not one of ours.
std::optional<StoredHash> parseStored(const std::string& stored) {
    const QList<QByteArray> fields = QByteArray::fromStdString(stored).split('$');
    if (fields.size() != 4 || fields[0] != kScheme) return std::nullopt;
    StoredHash hash{parseIterations(fields[1]), decodeField(fields[2], kSaltBytes),
                    decodeField(fields[3], kKeyBytes)};
    if (hash.iterations == 0 || hash.salt.isEmpty() || hash.key.isEmpty()) return std::nullopt;
    return hash;
}
} // namespace

bool webPasswordHashReadable(const std::string& stored) {
    return parseStored(stored).has_value();
}

bool verifyWebPassword(const std::string& password, const std::string& stored) {
    const std::optional<StoredHash> hash = parseStored(stored);
    if (!hash) return false;
    const QByteArray key = derive(password, hash->salt, hash->iterations);
    return constantTimeEqual(key.toStdString(), hash->key.toStdString());
}

bool constantTimeEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace gw
