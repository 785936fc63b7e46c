#include "rip/LogSeal.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace rip {

namespace {

constexpr char kSealPrefix[] = "log sha256: ";
constexpr std::size_t kSealPrefixLength = sizeof kSealPrefix - 1;

std::string Sha256Hex(const char* data, std::size_t size) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(data, static_cast<qsizetype>(size)), QCryptographicHash::Sha256);
    return digest.toHex().toStdString();
}

}  // namespace

std::string SealLog(const std::string& text) {
    std::string sealed = text;
    if (!sealed.empty() && sealed.back() != '\n') sealed += '\n';
    return sealed + kSealPrefix + Sha256Hex(sealed.data(), sealed.size()) + "\n";
}

LogSealState CheckLogSeal(const std::string& text) {
    // The last line, with the newline that ends the file (if any) left out.
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n') --end;
    const std::size_t nl = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    const std::size_t begin = nl == std::string::npos ? 0 : nl + 1;
    const std::string last = text.substr(begin, end - begin);
    if (last.compare(0, kSealPrefixLength, kSealPrefix) != 0) return LogSealState::Missing;
    // The seal is written with exactly one newline after it; anything else was changed.
    const bool sealedAsWritten =
        end + 1 == text.size() && last.substr(kSealPrefixLength) == Sha256Hex(text.data(), begin);
    return sealedAsWritten ? LogSealState::Intact : LogSealState::Altered;
}

}  // namespace rip
