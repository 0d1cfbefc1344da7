// The start folder split into its volume root and folder names.
#include "browser/path_elements.h"

namespace lumicart {

QString folderPart(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QStringList pathElements(const QString& currentFolder, const QString& driveRoot) {
    QStringList elements;
    QString first = driveRoot;
    if (!first.endsWith(QLatin1Char('/')))
        first += QLatin1Char('/');
    elements.append(first);

    QString rest = folderPart(currentFolder);
    qsizetype i = 0;
    while (!rest.isEmpty()) {
        const qsizetype at = rest.indexOf(elements.at(i));
        if (at < 0)
            break;
        // p: 1-based position of the element's last character.
        qsizetype p = at + elements.at(i).size();
        if (p >= rest.size())
            break;
        if (rest.at(p) == QLatin1Char('/'))
            ++p;
        rest.remove(0, p);
        if (rest.isEmpty())
            break;
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        elements.append(slash < 0 ? rest : rest.left(slash));
        ++i;
    }
    return elements;
}

} // namespace lumicart
