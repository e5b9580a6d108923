#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringView>
#include <QtEndian>

namespace ConfigurationText {

struct Placeholder
{
    int start = -1; // of the opener
    int end = -1;   // one past the closing brace
    QStringView name; // in the text, not copied: valid while the text is unchanged
};

// Where the next "$" stands from `from` on; -1 when nowhere. Four characters at a time: get()
// looks for placeholders in every value it reads, on the road of every tap.
inline int findDollar(const QChar *text, int from, int size)
{
    // Settings values are short: the set-up of the library's search costs more than this.
    int at = qMax(from, 0);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    // A lane of x is zero where the text holds '$'; the lowest flagged lane is the first one.
    constexpr quint64 Ones = 0x0001000100010001ULL;
    constexpr quint64 Highs = 0x8000800080008000ULL;
    constexpr quint64 Dollars = 0x0024002400240024ULL;
    for (; at + 4 <= size; at += 4) {
        const quint64 x = qFromUnaligned<quint64>(text + at) ^ Dollars;
        const quint64 zero = (x - Ones) & ~x & Highs;
        if (zero)
            return at + int(qCountTrailingZeroBits(zero) / 16);
    }
#endif
    for (; at < size; ++at) {
        if (text[at] == QLatin1Char('$'))
            return at;
    }
    return -1;
}

// Where the opener ("${" or "${#") next stands from `from` on; -1 when nowhere.
int findOpener(const QString &text, QLatin1String opener, int from);

// The first opener ("${" or "${#") followed by the shortest name up to a "}", with no line
// feed in the name: what the lazy pattern \$\{(.*?)\} finds from `from` on. start stays -1
// when there is none.
Placeholder findPlaceholder(const QString &text, QLatin1String opener, int from = 0);

// How deep settings may refer to settings before the chain is cut.
constexpr int MaxDepth = 16;

} // namespace ConfigurationText
