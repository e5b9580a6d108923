#pragma once

#include <QLatin1String>
#include <QString>

namespace ConfigurationText {

struct Placeholder
{
    int start = -1; // of the opener
    int end = -1;   // one past the closing brace
    QString name;
};

// Where the opener ("${" or "${#") next stands from `from` on; -1 when nowhere.
int findOpener(const QString &text, QLatin1String opener, int from);

// The first opener ("${" or "${#") followed by the shortest name up to a "}", with no line
// feed in the name: what the lazy pattern \$\{(.*?)\} finds from `from` on. start stays -1
// when there is none.
Placeholder findPlaceholder(const QString &text, QLatin1String opener, int from = 0);

// How deep settings may refer to settings before the chain is cut.
constexpr int MaxDepth = 16;

} // namespace ConfigurationText
