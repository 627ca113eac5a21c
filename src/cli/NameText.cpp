#include "cli/NameText.h"

namespace quillon {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the well-formed UTF-8 sequence at the start of text, or 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte, narrowed for some lead bytes
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A low surrogate that no high surrogate precedes stands for one byte of the name.
bool IsEscapedByte(const QString& text, qsizetype i) {
    const char16_t unit = text[i].unicode();
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF &&
           (i == 0 || !text[i - 1].isHighSurrogate());
}

}  // namespace

QString NameToQString(std::string_view name) {
    QString text;
    std::size_t validFrom = 0;  // the run of valid UTF-8 not yet decoded starts here
    std::size_t at = 0;
    while (at < name.size()) {
        const std::size_t length = Utf8SequenceLength(name.substr(at));
        if (length > 0) {
            at += length;
            continue;
        }
        text += FromUtf8(name.substr(validFrom, at - validFrom));
        text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(name[at])));
        validFrom = ++at;
    }
    return text + FromUtf8(name.substr(validFrom));
}

bool IsUtf8(std::string_view name) {
    for (std::size_t length = 0; !name.empty(); name.remove_prefix(length)) {
        length = Utf8SequenceLength(name);
        if (length == 0) {
            return false;
        }
    }
    return true;
}

std::string NameFromQString(const QString& text) {
    std::string name;
    qsizetype runFrom = 0;  // the run of ordinary characters not yet encoded starts here
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsEscapedByte(text, i)) {
            name += text.mid(runFrom, i - runFrom).toStdString();
            name += static_cast<char>(text[i].unicode() - kEscapeBase);
            runFrom = i + 1;
        }
    }
    return name + text.mid(runFrom).toStdString();
}

}  // namespace quillon
