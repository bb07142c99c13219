#include "filedialogstart.h"

#include <QDir>

namespace tollvik {
namespace {

constexpr QChar kNul = u'\0';

// One pattern of a dialog filter in Qt's terms. "*.*" asks for every file, also those without
// an extension, which Qt's matching of "*.*" would leave out where names carry no extension.
QString qtPattern(const QString& filterPattern)
{
#ifdef Q_OS_WIN
    return filterPattern;
#else
    return filterPattern == QLatin1String("*.*") ? QStringLiteral("*") : filterPattern;
#endif
}

QStringList qtPatterns(const QString& filterPatterns)
{
    QStringList patterns;
    for (const QString& part : filterPatterns.split(u';')) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            patterns.append(qtPattern(pattern));
    }
    if (patterns.isEmpty())
        patterns.append(QStringLiteral("*"));
    return patterns;
}

} // namespace

QStringList qtNameFilters(const QString& nulFilter)
{
    QStringList filters;
    qsizetype pos = 0;
    while (pos < nulFilter.size()) {
        qsizetype end = nulFilter.indexOf(kNul, pos);
        if (end < 0)
            end = nulFilter.size();
        const QString description = nulFilter.mid(pos, end - pos);
        // An empty description ends the list, as the double NUL does.
        if (description.isEmpty())
            break;
        pos = end + 1;
        end = nulFilter.indexOf(kNul, pos);
        if (end < 0)
            end = nulFilter.size();
        const QString patterns = pos < nulFilter.size() ? nulFilter.mid(pos, end - pos) : QString();
        pos = end + 1;
        // Qt takes the patterns from the last parenthesised group, so a description that names
        // its own patterns ("All (*.*)") keeps its look and still filters by ours.
        filters.append(description.trimmed() + QStringLiteral(" (") +
                       qtPatterns(patterns).join(u' ') + u')');
    }
    return filters;
}

FileDialogStart fileDialogStart(const QString& fileName, const QString& initialDir)
{
    FileDialogStart start;
    const QString name = QDir::fromNativeSeparators(fileName);
    const qsizetype slash = name.lastIndexOf(u'/');
    QString folder;
    if (slash == 0)
        folder = QStringLiteral("/");
    else if (slash > 0)
        folder = name.left(slash);
    start.directory = QDir::toNativeSeparators(folder.isEmpty() ? initialDir : folder);
    start.name = name.mid(slash + 1);
    if (start.name.contains(u'*') || start.name.contains(u'?'))
        start.pattern = start.name;
    return start;
}

} // namespace tollvik
